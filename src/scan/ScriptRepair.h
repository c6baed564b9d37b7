// Cutting known virus script blocks out of a text: web pages, scripts and
// configuration files that a worm appended its dropper or loader to. Pure:
// the caller reads the file and writes the result back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A piece of text that identifies an injected script, and how far the block
// to cut reaches around it: `before` bytes ahead of its first byte, `after`
// bytes behind its last.
struct ScriptMarker {
    std::string_view text;
    std::uint32_t before;
    std::uint32_t after;
};

constexpr std::size_t kScriptMarkerCount = 8;
// One pass per marker index, each cutting at most one block.
constexpr int kMaxScriptCuts = static_cast<int>(kScriptMarkerCount);

const std::array<ScriptMarker, kScriptMarkerCount>& ScriptMarkers();

struct ScriptCut {
    std::string text;  // the content with the blocks cut out
    int cuts = 0;      // 0: nothing found, `text` equals the content
};

// Runs the cutting passes over `content`. The markers are looked for only in
// the part before the first zero byte, the file taken as one zero-terminated
// text; whatever follows that byte (the zero included) is kept unchanged
// behind the cut text, so a repair never drops bytes it did not look at.
ScriptCut CutScriptMarkers(std::string_view content);
