// Every seed of the fuzz corpora and every input that ever made a fuzz
// target fail, run through the same entries the fuzzers use, in every unit
// test run (and so under the sanitizers of the debug preset). An entry that
// finds a broken promise aborts the whole test program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzEntries.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> InputsOf(const std::string& target) {
    std::vector<fs::path> inputs;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path dir = fs::path(KC_FUZZ_DIR) / kind / target;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.is_regular_file()) inputs.push_back(entry.path());
        }
    }
    return inputs;
}

}  // namespace

TEST(FuzzReplay, EverySeedAndEveryFormerCrashPassesItsTarget) {
    for (const FuzzTarget& target : FuzzTargets()) {
        const auto inputs = InputsOf(target.name);
        EXPECT_FALSE(inputs.empty()) << "no seeds for " << target.name;
        for (const fs::path& input : inputs) {
            SCOPED_TRACE(input.string());
            std::ifstream in(input, std::ios::binary);
            const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            target.entry(bytes.data(), bytes.size());
        }
    }
}
