// The classifier's compiled-in knowledge: byte windows that a body of a known
// family holds at a fixed offset from the start of the file. The table itself
// is private to RuleTable.cpp; callers ask for a verdict over the file's first
// bytes, and tools that need the rules as data (the benchmark's rule
// generator) may walk them read-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// One rule: the file matches when its `length` bytes at `offset` equal
// `bytes`, with no masks, wildcards or case folding.
struct SignatureRule {
    int family;              // the FamilyCode reported, 1 to 21
    std::uint32_t offset;    // from the start of the file
    std::uint32_t length;    // 16, 32, 40 or 48
    const std::uint8_t* bytes;
};

// Every window ends at or before this byte, so one read of the file's first
// kRuleSpan bytes holds all of them.
constexpr std::size_t kRuleSpan = 53968;

// The highest family code with a matching rule, 0 when none matches.
// `start` holds the file's first `startLength` bytes (only the first
// kRuleSpan are looked at). Bytes past `startLength` count as zero, exactly
// as a window read past the end of the file stays zero-filled: a short file
// whose missing bytes would be zeros still matches.
int MatchRules(const std::uint8_t* start, std::size_t startLength);

// The same verdict over a table of the caller's, tested in its order (the
// first match wins, so list higher families first). The product uses only
// the built-in table; this one lets a test stand in windows for families
// whose bytes the built-in table does not have.
int MatchRules(const std::vector<SignatureRule>& rules, const std::uint8_t* start, std::size_t startLength);

// Visits every rule, families from code 21 down, in the order they are tested.
void ForEachRule(const std::function<void(const SignatureRule&)>& visit);
