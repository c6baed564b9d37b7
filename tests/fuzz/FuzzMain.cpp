// A libFuzzer target for one entry of FuzzEntries, chosen at build time.
#include <cstddef>
#include <cstdint>

#include "FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    KC_FUZZ_ENTRY(data, size);
    return 0;
}
