// The parts of the system's performance data that list processes: the
// counter-name list from the registry and the binary block of the process
// object. Both are parsed from bytes the caller fetched; neither trusts them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PerfCounterIndexes {
    std::string processObject;  // the title index of "Process", as text: the query's value name
    std::uint32_t idProcessCounter = 0;  // the title index of "ID Process"
    bool found = false;                  // both were there
};

// Reads the "Counters" list: zero-terminated strings, alternately a decimal
// title index and a name.
PerfCounterIndexes ParsePerfCounterNames(const std::string& counters);

struct PerfProcess {
    std::string name;  // instance name + ".exe", "unknown", or empty (see below)
    std::uint32_t processId = 0;
};

// The instances of the first object of a performance-data block, at most
// `maxEntries`. A block that is short, truncated or whose lengths lie yields
// the instances read up to the fault, never a read outside the bytes.
std::vector<PerfProcess> ParsePerfProcesses(const std::uint8_t* data, std::size_t size,
                                            std::uint32_t idProcessCounter, std::size_t maxEntries);

// Layout facts of the published structures the parser and the simulated
// machine share.
namespace perf {
constexpr std::size_t kDataBlockHeaderLengthAt = 24;
constexpr std::size_t kDataBlockSize = 88;
constexpr std::size_t kObjectSize = 64;
constexpr std::size_t kCounterDefinitionStride = 40;
constexpr std::size_t kInstanceSize = 24;
// A process with this id counter reads 0 (the idle process, "_Total").
constexpr std::uint32_t kNoProcessId = 0xFFFFFFFE;
// The converted name lives in a buffer of this many bytes, terminator
// included; ".exe" is appended only while it still fits.
constexpr std::size_t kNameBuffer = 260;
}  // namespace perf
