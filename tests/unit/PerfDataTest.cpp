#include <gtest/gtest.h>

#include "platform/sim/SimMachine.h"
#include "sys/Bytes.h"
#include "sys/PerfData.h"

namespace {

constexpr std::uint32_t kIdProcess = 784;

std::vector<std::uint8_t> BlockWith(const std::vector<std::string>& paths) {
    CSimMachine m;
    for (const auto& p : paths) m.StartProcess(p);
    return m.PerformanceData();
}

std::vector<PerfProcess> Parse(const std::vector<std::uint8_t>& b, std::size_t max = 255) {
    return ParsePerfProcesses(b.data(), b.size(), kIdProcess, max);
}

// A list of zero-terminated strings written as one literal.
template <std::size_t N>
std::string Multi(const char (&s)[N]) {
    return std::string(s, N);
}

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Offsets in the block the simulated machine builds: one object, two counter
// definitions, then the first instance ("Idle").
constexpr std::size_t kObject = perf::kDataBlockSize;
constexpr std::size_t kFirstInstance = kObject + perf::kObjectSize + 2 * perf::kCounterDefinitionStride;

}  // namespace

TEST(PerfCounterNames, FindsTheProcessObjectAndTheIdCounter) {
    const std::string list = Multi("2\0System\0" "230\0Process\0" "784\0ID Process\0");
    const PerfCounterIndexes idx = ParsePerfCounterNames(list);
    EXPECT_TRUE(idx.found);
    EXPECT_EQ(idx.processObject, "230");
    EXPECT_EQ(idx.idProcessCounter, 784u);
    EXPECT_FALSE(ParsePerfCounterNames(Multi("230\0Process\0")).found) << "no id counter";
    EXPECT_FALSE(ParsePerfCounterNames(Multi("Process\0" "ID Process")).found) << "no numbers before them";
    EXPECT_FALSE(ParsePerfCounterNames("").found);
    // A number too large for 32 bits stops at the digits that fit.
    EXPECT_TRUE(ParsePerfCounterNames(Multi("230\0PROCESS\0" "99999999999\0id process\0")).found);
}

TEST(PerfData, ListsEveryInstanceWithExeNamesAndMarksIdZero) {
    const auto list = Parse(BlockWith({"C:\\WINDOWS\\system32\\svchost.exe", "C:\\x\\Screen.scr"}));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].name, "Idle.exe");
    EXPECT_EQ(list[0].processId, perf::kNoProcessId);
    EXPECT_EQ(list[1].name, "svchost.exe");
    EXPECT_EQ(list[1].processId, 1000u);
    EXPECT_EQ(list[2].name, "Screen.exe") << "the system names every instance without its extension";
    EXPECT_EQ(list[3].name, "_Total.exe");
    EXPECT_EQ(list[3].processId, perf::kNoProcessId);
}

TEST(PerfData, StopsAtTheCallersLimit) {
    const auto block = BlockWith({"C:\\a.exe", "C:\\b.exe", "C:\\c.exe"});
    EXPECT_EQ(Parse(block, 2).size(), 2u);
    EXPECT_EQ(Parse(block, 0).size(), 0u);
}

TEST(PerfData, EveryTruncationYieldsAPrefixOfTheWholeList) {
    const auto block = BlockWith({"C:\\a.exe", "C:\\b.exe", "C:\\c.exe"});
    const auto whole = Parse(block);
    for (std::size_t n = 0; n < block.size(); ++n) {
        // A copy of exactly n bytes, so that the sanitizers see any read past it.
        const std::vector<std::uint8_t> cut(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
        const auto part = ParsePerfProcesses(cut.data(), cut.size(), kIdProcess, 255);
        ASSERT_LE(part.size(), whole.size()) << n;
        for (std::size_t i = 0; i < part.size(); ++i) {
            EXPECT_EQ(part[i].name, whole[i].name) << n;
            EXPECT_EQ(part[i].processId, whole[i].processId) << n;
        }
    }
}

struct DamageCase {
    const char* name;
    std::size_t offset;
    std::uint32_t value;
    std::size_t expected;  // instances still listed
};

class PerfDataDamage : public testing::TestWithParam<DamageCase> {};

TEST_P(PerfDataDamage, LyingFieldsYieldFewerEntriesNeverAFault) {
    auto block = BlockWith({"C:\\a.exe", "C:\\b.exe"});
    Put32(block, GetParam().offset, GetParam().value);
    EXPECT_EQ(Parse(block).size(), GetParam().expected);
}

const DamageCase kDamageCases[] = {
    {"NoSignature", 0, 0x00580050, 0},
    {"HeaderPastTheEnd", perf::kDataBlockHeaderLengthAt, 0xFFFFFFF0, 0},
    {"CounterHeaderPastTheEnd", kObject + 8, 0x7FFFFFFF, 0},
    {"NoCounters", kObject + 32, 0, 0},
    {"HugeCounterCount", kObject + 32, 0xFFFFFFFF, 4},
    {"NoInstances", kObject + 40, 0xFFFFFFFF, 0},
    {"MoreInstancesThanThere", kObject + 40, 1000, 4},
    {"DefinitionPastTheEnd", kObject + 4, 0xFFFFFF00, 0},
    {"InstanceLengthZero", kFirstInstance, 0, 0},
    {"InstanceLengthHuge", kFirstInstance, 0xFFFFFFFF, 0},
    {"CounterOffsetPastTheBlock", kObject + perf::kObjectSize + perf::kCounterDefinitionStride + 36, 4000, 0},
    {"NameOffsetPastTheInstance", kFirstInstance + 16, 0xFFFFFFF0, 4},
};

INSTANTIATE_TEST_SUITE_P(Cases, PerfDataDamage, testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PerfData, NameOutsideItsInstanceIsUnknown) {
    auto block = BlockWith({"C:\\a.exe"});
    Put32(block, kFirstInstance + 16, 0xFFFFFFF0);
    EXPECT_EQ(Parse(block)[0].name, "unknown");
}

TEST(Bytes, FitsNeverWrapsAround) {
    EXPECT_TRUE(Fits(10, 0, 10));
    EXPECT_TRUE(Fits(10, 10, 0));
    EXPECT_FALSE(Fits(10, 11, 0));
    EXPECT_FALSE(Fits(10, 4, 7));
    EXPECT_FALSE(Fits(10, 0xFFFFFFFFFFFFFFFFull, 2));
    EXPECT_FALSE(Fits(10, 2, 0xFFFFFFFFFFFFFFFFull));
    const std::uint8_t b[3] = {1, 2, 3};
    CByteReader r(b, 3);
    EXPECT_EQ(r.U16(1), 0x0302);
    EXPECT_EQ(r.U32(0), 0u) << "out of range reads are zero";
}
