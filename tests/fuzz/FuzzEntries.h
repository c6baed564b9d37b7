// One entry per reader of untrusted bytes: each hands the input to the same
// pure function the program uses and checks what must hold for any input.
// The libFuzzer targets call them, and so does the unit test that replays
// the seed corpora and every input that ever crashed a target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A file of a walked disk: the executable pre-checks, then the rule table.
void FuzzClassifier(const std::uint8_t* data, std::size_t size);
// A script or page handed to the repair.
void FuzzScriptCutter(const std::uint8_t* data, std::size_t size);
// The performance-data block and the counter-name list of the registry.
void FuzzPerfData(const std::uint8_t* data, std::size_t size);
// Run-key data: the cleaners' Run-command normaliser and the Run-entry
// check's matching against registered names.
void FuzzRunCommand(const std::uint8_t* data, std::size_t size);

// A downloaded or built-in banner: the GIF block walker and the one-frame
// copies the decoder is handed.
void FuzzGifWalker(const std::uint8_t* data, std::size_t size);
// The downloaded index: its split into lines and the names and the click
// target made from them.
void FuzzBannerIndex(const std::uint8_t* data, std::size_t size);

struct FuzzTarget {
    const char* name;  // also the corpus folder's name
    void (*entry)(const std::uint8_t*, std::size_t);
};
const std::vector<FuzzTarget>& FuzzTargets();
