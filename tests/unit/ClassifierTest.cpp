// The file classifier on the simulated machine: the executable pre-checks,
// the rule table's verdict, and what is removed and logged for each family.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>

#include "PeFixture.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "scan/PeChecks.h"
#include "scan/RuleTable.h"

namespace {

std::string T(std::uint32_t id) { return BuiltInString(id); }

struct RuleBytes {
    int family;
    std::uint32_t offset;
    std::string bytes;
};

std::vector<RuleBytes> AllRules() {
    std::vector<RuleBytes> rules;
    ForEachRule([&](const SignatureRule& rule) {
        rules.push_back({rule.family, rule.offset, std::string(reinterpret_cast<const char*>(rule.bytes), rule.length)});
    });
    return rules;
}

void Plant(std::string& file, std::size_t offset, const std::string& bytes) {
    if (file.size() < offset + bytes.size()) file.resize(offset + bytes.size(), '\0');
    file.replace(offset, bytes.size(), bytes);
}

// "a/b.exe" on drive C: of the test machine.
std::string WinPath(const std::string& relative) {
    std::string path = "C:\\" + relative;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// The lines each family's removal writes, as the result log has always
// shown them, doubled parentheses and odd labels included.
struct FamilyRow {
    int code;
    const char* name;
    const char* deleted;    // appended to text 7 and the path
    const char* scheduled;  // appended to text 9 and the path, before text 11; null: never scheduled
};

const FamilyRow kFamilyRows[] = {
    {21, "Protoride", " (I-Worm.Protoride)", " (I-Worm.Protoride)"},
    {20, "RpcDcomExploit", " (Exploit: RPCDCom))", " (Exploit: RPCDCom)"},
    {19, "Sober", " (I-Worm.Sober))", " (I-Worm.Sober)"},
    {18, "MooDown", " (I-Worm.MooDown))", " (I-Worm.MooDown)"},
    {17, "DoomHunter", " (Worm.DoomHunter))", " (Worm.DoomHunter)"},
    {16, "Vesser", " (I-Worm.Vesser))", " (I-Worm.Vesser)"},
    {15, "Redlof", " (VBS\\Redlof))", " (VBS\\Redlof)"},
    {14, "StartPage", " (Trojan.StartPage)", " (Trojan.StartPage)"},
    {13, "Sobig", " (I-Worm.Sobig)", " (I-Worm.Sobig)"},
    {12, "MyDoom", " (I-Worm.MyDoom)", " (I-Worm.MyDoom)"},
    {11, "Dumaru", " (I-Worm.Dumaru)", " (I-Worm.Dumaru)"},
    {10, "Bagle", " (I-Worm.Bagle)", " (I-Worm.Bagle)"},
    {9, "Randex", " (Worm.Randex)", " (Worm.Randex)"},
    {8, "Fakesvc", " (Trojan.Fakesvc)", " (I-Worm.Fakesvc)"},
    {7, "Jeefo", " (Worm.Jeefo)", nullptr},
    {6, "Mimail", " (Worm.Mimail)", " (Worm.Mimail)"},
    {5, "Opasoft", " (Worm.Win32.Opasoft)", " (Worm.Win32.Opasoft)"},
    {4, "Swen", " (I-Worm.Swen)", " (I-Worm.Swen)"},
    {3, "SpyBot", " (SpyBot)", " (SpyBot)"},
    {2, "Apdoor", " (Backdoor:Apdoor)", " (Backdoor:Apdoor)"},
    {1, "LovesanBlaster", " (Lovesan\\blaster)", " (Lovesan\\Blaster)"},
};

const FamilyRow& RowOf(int code) {
    for (const FamilyRow& row : kFamilyRows)
        if (row.code == code) return row;
    throw std::logic_error("unknown family");
}

// "I-Worm.Sober" out of " (I-Worm.Sober))".
std::string LabelOf(const char* suffix) {
    std::string label(suffix + 2);
    while (!label.empty() && label.back() == ')') label.pop_back();
    return label;
}

// A process that refuses to end: the file it runs from cannot be deleted.
constexpr CSimMachine::ProcessOptions kStubborn = {true, true, false};

// The machine with its start-up lines cleared, and helpers to put files on
// its drive C:. No call may leave a file of the classifier open.
class ClassifierBench {
public:
    explicit ClassifierBench(std::uint32_t platformId = VER_PLATFORM_WIN32_NT) : tm(platformId) {
        tm.view.ResetLog();
    }

    std::string Put(const std::string& relative, const std::string& bytes) {
        tm.drive.WriteFile(relative, bytes);
        return WinPath(relative);
    }
    bool Exists(const std::string& path) { return tm.machine.GetAttributes(path) != kInvalidAttributes; }
    int Classify(const std::string& path) {
        const int family = tm.dlg->ClassifyFile(path);
        EXPECT_EQ(tm.machine.OpenFileCount(), 0) << "a file was left open";
        return family;
    }
    std::vector<std::string> Log() const { return tm.view.Log(); }
    std::vector<Finding> Findings() const { return tm.view.Findings(); }

    CTestMachine tm;
};

class Classifier : public testing::Test, public ClassifierBench {};

}  // namespace

// --- every rule of the table, through the whole classifier ------------------

class ClassifyRuleBody : public testing::TestWithParam<RuleBytes> {};

TEST_P(ClassifyRuleBody, IsDeletedAndLoggedUnderItsFamily) {
    const RuleBytes& rule = GetParam();
    ClassifierBench bench;
    std::string body(rule.offset + rule.bytes.size(), '\0');
    body.replace(rule.offset, rule.bytes.size(), rule.bytes);
    const std::string path = bench.Put("Pobrane/body.bin", body);

    EXPECT_EQ(bench.Classify(path), rule.family);
    EXPECT_FALSE(bench.Exists(path));
    const FamilyRow& row = RowOf(rule.family);
    const auto findings = bench.Findings();
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].kind, ActionKind::FileDeleted);
    EXPECT_EQ(findings[0].target, path);
    EXPECT_EQ(findings[0].family, LabelOf(row.deleted));
    EXPECT_TRUE(findings[0].succeeded);
    EXPECT_EQ(bench.Log(), std::vector<std::string>{T(7) + path + row.deleted});
}

INSTANTIATE_TEST_SUITE_P(Table, ClassifyRuleBody, testing::ValuesIn(AllRules()), [](const auto& info) {
    return "Family" + std::to_string(info.param.family) + "At" + std::to_string(info.param.offset) + "Row" +
           std::to_string(info.index);
});

// --- each family's removal and lines ---------------------------------------

class FamilyRemoval : public testing::TestWithParam<FamilyRow> {};

TEST_P(FamilyRemoval, DeletedBodyGivesTheDeleteLine) {
    const FamilyRow& row = GetParam();
    ClassifierBench bench;
    const std::string path = bench.Put("WINDOWS/System32/body.exe", "body");
    bench.tm.machine.SetAttributes(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    bench.tm.dlg->RemoveDetectedFile(path, row.code);
    EXPECT_FALSE(bench.Exists(path)) << "read-only, hidden and system are cleared first";
    const auto findings = bench.Findings();
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].kind, ActionKind::FileDeleted);
    EXPECT_EQ(findings[0].family, LabelOf(row.deleted));
    EXPECT_EQ(findings[0].line, T(7) + path + row.deleted);
    EXPECT_TRUE(bench.tm.machine.RestartDeletions().empty());
}

TEST_P(FamilyRemoval, BodyInUseIsScheduledForRestartExceptJeefo) {
    const FamilyRow& row = GetParam();
    ClassifierBench bench;
    const std::string path = bench.Put("WINDOWS/System32/body.exe", "body");
    const std::uint32_t pid = bench.tm.machine.StartProcess(path, kStubborn);

    bench.tm.dlg->RemoveDetectedFile(path, row.code);
    EXPECT_TRUE(bench.Exists(path));
    EXPECT_TRUE(bench.tm.machine.IsRunning(pid));
    EXPECT_EQ(bench.tm.machine.GetAttributes(path), FILE_ATTRIBUTE_NORMAL);
    const auto findings = bench.Findings();
    if (row.scheduled == nullptr) {
        EXPECT_TRUE(findings.empty());
        EXPECT_TRUE(bench.tm.machine.RestartDeletions().empty());
        return;
    }
    ASSERT_EQ(findings.size(), 1u) << "no process line for a process that did not end";
    EXPECT_EQ(findings[0].kind, ActionKind::FileDeleteScheduled);
    EXPECT_EQ(findings[0].target, path);
    EXPECT_EQ(findings[0].family, LabelOf(row.scheduled));
    EXPECT_EQ(findings[0].line, T(9) + path + row.scheduled + T(11));
    EXPECT_EQ(bench.tm.machine.RestartDeletions(), std::vector<std::string>{path});
}

TEST_P(FamilyRemoval, NineXCannotScheduleSoNothingIsLogged) {
    const FamilyRow& row = GetParam();
    ClassifierBench bench(VER_PLATFORM_WIN32_WINDOWS);
    const std::string path = bench.Put("WINDOWS/SYSTEM/body.exe", "body");
    bench.tm.machine.StartProcess(path, kStubborn);

    bench.tm.dlg->RemoveDetectedFile(path, row.code);
    EXPECT_TRUE(bench.Exists(path));
    EXPECT_TRUE(bench.Log().empty());
    EXPECT_TRUE(bench.tm.machine.RestartDeletions().empty());
}

INSTANTIATE_TEST_SUITE_P(Families, FamilyRemoval, testing::ValuesIn(kFamilyRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Classifier, UnknownFamilyCodeRemovesNothing) {
    const std::string path = Put("keep.exe", "body");
    for (int code : {0, 22, -1}) tm.dlg->RemoveDetectedFile(path, code);
    EXPECT_TRUE(Exists(path));
    EXPECT_TRUE(Log().empty());
}

// --- the rule-table stage through the classifier ----------------------------

TEST_F(Classifier, RunningBagleIsStoppedThenDeleted) {
    for (std::uint32_t family : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        ClassifierBench bench(family);
        SCOPED_TRACE(family == VER_PLATFORM_WIN32_NT ? "NT" : "9x");
        const std::string path = bench.Put("WINDOWS/System32/bbeagle.exe", BodyOf(10));
        const std::uint32_t pid = bench.tm.machine.StartProcess(path);
        const std::uint32_t other = bench.tm.machine.StartProcess(WinPath("other/bbeagle.exe"));

        EXPECT_EQ(bench.Classify(path), 10);
        EXPECT_FALSE(bench.tm.machine.IsRunning(pid));
        EXPECT_TRUE(bench.tm.machine.IsRunning(other)) << "only the copy run from this very file";
        EXPECT_FALSE(bench.Exists(path));
        const auto findings = bench.Findings();
        ASSERT_EQ(findings.size(), 2u);
        EXPECT_EQ(findings[0].kind, ActionKind::ProcessStopped);
        EXPECT_EQ(findings[0].line, "   " + T(3) + " (I-Worm.Bagle)");
        EXPECT_EQ(findings[1].kind, ActionKind::FileDeleted);
        EXPECT_EQ(findings[1].line, T(7) + path + " (I-Worm.Bagle)");
    }
}

TEST_F(Classifier, BodyRunByAnotherFamilyIsScheduledWithAttributesReset) {
    const std::string path = Put("WINDOWS/dumaru.exe", BodyOf(11));
    tm.machine.SetAttributes(path, FILE_ATTRIBUTE_HIDDEN);
    const std::uint32_t pid = tm.machine.StartProcess(path);

    EXPECT_EQ(Classify(path), 11);
    EXPECT_TRUE(tm.machine.IsRunning(pid)) << "only Bagle's processes are stopped";
    EXPECT_EQ(Log(), std::vector<std::string>{T(9) + path + " (I-Worm.Dumaru)" + T(11)});
    EXPECT_EQ(tm.machine.RestartDeletions(), std::vector<std::string>{path});
    EXPECT_EQ(tm.machine.GetAttributes(path), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Classifier, EmptyAndOneByteFilesCostOneOpenAndOneRead) {
    // The one read of the file's start serves the pre-checks and the table;
    // an empty file ends there, a one-byte one is compared as that byte
    // followed by zeros.
    for (const char* content : {"", "M"}) {
        SCOPED_TRACE(std::string("content \"") + content + "\"");
        const std::string path = Put("small.txt", content);
        tm.machine.ClearFaults();
        tm.machine.FailCall("OpenForRead", path, ERROR_ACCESS_DENIED, 2);
        tm.machine.FailCall("ReadAt", path, ERROR_CANTREAD, 2);
        EXPECT_EQ(Classify(path), 0);
        EXPECT_EQ(tm.machine.FaultsFired(), 0);
        EXPECT_TRUE(Log().empty());
    }
}

struct FailureRow {
    const char* name;
    std::function<void(CSimMachine&, const std::string&)> arrange;
    int faults;  // how many injected faults must have fired
};

const FailureRow kFailureRows[] = {
    {"OpenRefused", [](CSimMachine& m, const std::string& p) { m.FailCall("OpenForRead", p, ERROR_ACCESS_DENIED); },
     1},
    {"LockedByAnotherProgram", [](CSimMachine& m, const std::string& p) { m.LockFile(p, true); }, 0},
    {"FirstReadFails",
     [](CSimMachine& m, const std::string& p) { m.FailCall("ReadAt", p, ERROR_CANTREAD, 1, false); }, 1},
};

class ClassifierFailure : public testing::TestWithParam<FailureRow> {};

TEST_P(ClassifierFailure, IsSilentAndLeavesTheFile) {
    ClassifierBench bench;
    const std::string path = bench.Put("Moje dokumenty/redlof.htm", BodyOf(15));
    GetParam().arrange(bench.tm.machine, path);
    EXPECT_EQ(bench.Classify(path), 0);
    EXPECT_EQ(bench.tm.machine.FaultsFired(), GetParam().faults);
    EXPECT_TRUE(bench.Log().empty());
    bench.tm.machine.LockFile(path, false);
    EXPECT_TRUE(bench.Exists(path));
}

INSTANTIATE_TEST_SUITE_P(Faults, ClassifierFailure, testing::ValuesIn(kFailureRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Classifier, OneOpenAndOneReadServeAFileWhoseHeadersLieInItsStart) {
    // A plain file and an executable alike: the file's first 53,968 bytes
    // hold every window and the executable's headers, so nothing more is
    // read; an executable whose headers lie further in is read where they are.
    CPeFixture far;
    far.m_ntOffset = 60000;
    struct Case {
        const char* name;
        std::string bytes;
        int reads;
    };
    const Case cases[] = {{"plain.txt", std::string(60000, 'x'), 1},
                          {"program.exe", CPeFixture().Bytes(), 1},
                          {"far.exe", far.Bytes(), 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Put(c.name, c.bytes);
        tm.machine.ClearFaults();
        tm.machine.FailCall("ReadAt", path, ERROR_CANTREAD, c.reads + 1);
        tm.machine.FailCall("OpenForRead", path, ERROR_CANTREAD, 2);
        EXPECT_EQ(Classify(path), 0);
        EXPECT_EQ(tm.machine.FaultsFired(), 0);
        // And the reads counted are really made: one fewer allowed fires.
        tm.machine.ClearFaults();
        tm.machine.FailCall("ReadAt", path, ERROR_CANTREAD, c.reads);
        EXPECT_EQ(Classify(path), 0);
        EXPECT_EQ(tm.machine.FaultsFired(), 1);
    }
}

TEST_F(Classifier, OneReadOfTheStartGivesTheVerdictsOfWindowByWindowReads) {
    // The reference reads every window on its own, zero-filled, as the
    // table's windows have always been read, and picks the highest family.
    const std::vector<RuleBytes> rules = AllRules();
    auto reference = [&](const std::string& path) {
        FileHandle file = kInvalidFile;
        EXPECT_EQ(tm.machine.OpenForRead(path, file), ERROR_SUCCESS);
        int best = 0;
        for (const RuleBytes& rule : rules) {
            std::string window(rule.bytes.size(), '\0');
            std::uint32_t read = 0;
            tm.machine.ReadAt(file, rule.offset, reinterpret_cast<std::uint8_t*>(window.data()),
                              static_cast<std::uint32_t>(window.size()), read);
            if (window == rule.bytes) best = std::max(best, rule.family);
        }
        tm.machine.CloseFile(file);
        return best;
    };

    std::mt19937 random(20040301);
    int matched = 0;
    for (int i = 0; i < 240; ++i) {
        const bool noisy = i % 2 == 1;
        std::string file;
        const int planted = static_cast<int>(random() % 3);
        for (int k = 0; k < planted; ++k) {
            const RuleBytes& rule = rules[random() % rules.size()];
            Plant(file, rule.offset, rule.bytes);
        }
        // Lengths that cut into the windows' ends, and lengths past them.
        const RuleBytes& edge = rules[random() % rules.size()];
        const std::size_t length = random() % 4 == 0 ? random() % 60000
                                                     : edge.offset + edge.bytes.size() - random() % 24;
        std::string body(length, '\0');
        for (std::size_t b = 0; b < length; ++b) {
            if (b < file.size()) body[b] = file[b];
            else if (noisy) body[b] = static_cast<char>(random());
        }
        if (body.size() >= 2 && body[0] == 'M' && body[1] == 'Z') body[0] = 'm';
        SCOPED_TRACE("file " + std::to_string(i) + ", " + std::to_string(length) + " bytes");
        const std::string path = Put("walk/f" + std::to_string(i) + ".bin", body);
        const int expected = reference(path);
        matched += expected != 0;
        EXPECT_EQ(tm.dlg->MatchSignatureRules(path), expected);
        EXPECT_EQ(tm.machine.OpenFileCount(), 0);
    }
    EXPECT_GT(matched, 50) << "the sample should exercise matches, not only misses";
}

// --- the executable pre-checks -------------------------------------------------

TEST(PeProbes, ASectionHeaderCountsOnlyWhenItLiesWhollyInTheBlock) {
    const std::string file = TanatosFixture().Bytes();
    const auto* nt = reinterpret_cast<const std::uint8_t*>(file.data()) + 0x80;
    // The UPX1 header is the second of the table: it ends at 24 + 224 + 80.
    const std::size_t upx1End = 24 + 224 + 80;
    EXPECT_EQ(LocatePeProbes(nt, pe::kNtHeadersSize, nt, upx1End).tanatosStub, kTanatosStubAt);
    EXPECT_EQ(LocatePeProbes(nt, pe::kNtHeadersSize, nt, upx1End - 1).tanatosStub, 16u);
    EXPECT_EQ(LocatePeProbes(nullptr, 0, nullptr, 0).tanatosStub, 16u);
    EXPECT_EQ(LocatePeProbes(nullptr, 0, nullptr, 0).bagleMarker, 0u);
}

TEST(PeProbes, HeaderBlockIsBoundedWhateverTheFileClaims) {
    for (std::uint32_t claimed : {0u, 0x400u, 0x10000u, 0x10001u, 0xFFFFFF9Cu, 0xFFFFFFFFu}) {
        CPeFixture pe;
        pe.m_sizeOfHeaders = claimed;
        const std::string file = pe.Bytes();
        const auto* nt = reinterpret_cast<const std::uint8_t*>(file.data()) + 0x80;
        EXPECT_EQ(HeaderBlockLength(nt, pe::kNtHeadersSize), std::min(claimed, pe::kMaxHeaderBlock)) << claimed;
    }
    EXPECT_EQ(HeaderBlockLength(nullptr, 0), 0u);
}

enum class Verdict { None, Tanatos, BagleN };

struct PeRow {
    const char* name;
    std::function<std::string()> build;
    Verdict verdict;
};

std::string WithNtOffset(std::string file, std::uint32_t offset) {
    for (int i = 0; i < 4; ++i) file[60 + i] = static_cast<char>(offset >> (8 * i));
    return file;
}

CPeFixture Tweaked(CPeFixture pe, const std::function<void(CPeFixture&)>& change) {
    change(pe);
    return pe;
}

const PeRow kPeRows[] = {
    {"TanatosIntact", [] { return TanatosFixture().Bytes(); }, Verdict::Tanatos},
    {"BagleNIntact", [] { return BagleNFixture().Bytes(); }, Verdict::BagleN},
    {"BagleNIsCheckedBeforeTanatos",
     [] {
         CPeFixture pe = TanatosFixture();
         pe.m_sections.push_back({"", 0x2000, 0x600});
         pe.Place(0x600, kBagleNMarkerBytes);
         return pe.Bytes();
     },
     Verdict::BagleN},
    {"PlainExecutable", [] { return CPeFixture().Bytes(); }, Verdict::None},
    {"WithoutUpx1TheStubIsLookedForAtSixteen",
     [] {
         CPeFixture pe;
         pe.Place(16, kTanatosStubBytes);
         return pe.Bytes();
     },
     Verdict::Tanatos},
    {"NoPeSignature", [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_bPeSignature = false; }).Bytes(); },
     Verdict::None},
    {"DosHeaderShorterThan64", [] { return TanatosFixture().Bytes().substr(0, 63); }, Verdict::None},
    {"NtHeadersPastTheEnd", [] { return WithNtOffset(TanatosFixture().Bytes(), 0x10000); }, Verdict::None},
    {"NtHeadersAtFourGigabytes", [] { return WithNtOffset(TanatosFixture().Bytes(), 0xFFFFFFFF); }, Verdict::None},
    {"SizeOfHeadersZero", [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_sizeOfHeaders = 0; }).Bytes(); },
     Verdict::None},
    {"SizeOfHeadersHuge",
     [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_sizeOfHeaders = 0xFFFFFFFF; }).Bytes(); },
     Verdict::Tanatos},
    {"SizeOfHeadersWrapsWithSlack",
     [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_sizeOfHeaders = 0xFFFFFF9C; }).Bytes(); },
     Verdict::Tanatos},
    {"SizeOfHeadersCoversTheTable",
     [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_sizeOfHeaders = 24 + 224 + 80; }).Bytes(); },
     Verdict::Tanatos},
    {"SizeOfHeadersEndsInsideTheTable",
     [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_sizeOfHeaders = 24 + 224 + 79; }).Bytes(); },
     Verdict::None},
    {"NumberOfSectionsZero",
     [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_numberOfSections = 0; }).Bytes(); }, Verdict::None},
    {"NumberOfSectionsMax",
     [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_numberOfSections = 0xFFFF; }).Bytes(); },
     Verdict::Tanatos},
    {"OptionalHeaderPushesTheTablePastTheBytes",
     [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_sizeOfOptionalHeader = 0xFFFF; }).Bytes(); },
     Verdict::None},
    {"TableAndHeadersBothAtTheirLimits",
     [] {
         return Tweaked(TanatosFixture(), [](CPeFixture& p) {
                    p.m_sizeOfOptionalHeader = 0xFFFF;
                    p.m_sizeOfHeaders = 0xFFFFFFFF;
                    p.m_numberOfSections = 0xFFFF;
                }).Bytes();
     },
     Verdict::None},
    {"EntryPositionWrapsModulo2To32",
     [] {
         // 0x400 - 0 + 0xFFFFFF00 is 0x300 in 32 bits, past 4 GB in more.
         CPeFixture pe = TanatosFixture();
         pe.m_sections[1].virtualAddress = 0;
         pe.m_entryPoint = 0xFFFFFF00;
         pe.Place(0x300 + 16, kTanatosStubBytes);
         return pe.Bytes();
     },
     Verdict::Tanatos},
    {"EntryPositionWrapsBelowZero",
     [] {
         return Tweaked(TanatosFixture(), [](CPeFixture& p) {
                    p.m_sections[1].virtualAddress = 0x80001000;
                    p.m_entryPoint = 0x80001100;
                }).Bytes();
     },
     Verdict::Tanatos},
    {"EntryPositionBeyondTheFile",
     [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_entryPoint = 0x7FFF0000; }).Bytes(); },
     Verdict::None},
    {"LaterUpx1SectionMovesTheEntry",
     [] {
         return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_sections.push_back({"UPX1", 0x1000, 0x600}); })
             .Bytes();
     },
     Verdict::None},
    {"LaterUpx1WithoutRawDataIsIgnored",
     [] {
         return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_sections.push_back({"UPX1", 0x1000, 0}); }).Bytes();
     },
     Verdict::Tanatos},
    {"Upx1IsAPrefix",
     [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_sections[1].name = "UPX1!"; }).Bytes(); },
     Verdict::Tanatos},
    {"LowerCaseUpx1IsAnotherName",
     [] { return Tweaked(TanatosFixture(), [](CPeFixture& p) { p.m_sections[1].name = "upx1"; }).Bytes(); },
     Verdict::None},
    {"LaterUnnamedSectionMovesTheMarker",
     [] { return Tweaked(BagleNFixture(), [](CPeFixture& p) { p.m_sections.push_back({"", 0x3000, 0x700}); }).Bytes(); },
     Verdict::None},
    {"LaterUnnamedWithoutRawDataIsIgnored",
     [] { return Tweaked(BagleNFixture(), [](CPeFixture& p) { p.m_sections.push_back({"", 0x3000, 0}); }).Bytes(); },
     Verdict::BagleN},
    {"MarkerPastTheEnd",
     [] { return BagleNFixture().Bytes().substr(0, 0x601); }, Verdict::None},
};

class PreCheck : public testing::TestWithParam<PeRow> {};

TEST_P(PreCheck, GivesItsVerdictOnAHelpFile) {
    // A file named help.dat: the Tanatos stub deletes it outright.
    ClassifierBench bench;
    const std::string path = bench.Put("Program Files/Pomoc/help.dat", GetParam().build());
    const int family = bench.Classify(path);
    switch (GetParam().verdict) {
        case Verdict::None:
            EXPECT_EQ(family, 0);
            EXPECT_TRUE(bench.Log().empty());
            EXPECT_TRUE(bench.Exists(path));
            break;
        case Verdict::Tanatos:
            EXPECT_EQ(family, 1);
            EXPECT_EQ(bench.Log(), (std::vector<std::string>{T(12) + path, T(7) + path + " (Tanatos)"}));
            EXPECT_FALSE(bench.Exists(path));
            break;
        case Verdict::BagleN:
            EXPECT_EQ(family, 1);
            EXPECT_EQ(bench.Log(), std::vector<std::string>{T(12) + path + " (I-Worm.Bagle.n)"});
            EXPECT_TRUE(bench.Exists(path));
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Headers, PreCheck, testing::ValuesIn(kPeRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Classifier, TruncatedExecutablesAreCheckedOnlyAsFarAsTheyGo) {
    // Cut at every length: the verdict appears exactly when the pattern's
    // last byte is in the file, and nothing before that reads out of bounds.
    struct Cut {
        const char* name;
        std::string full;
        std::size_t patternEnd;
        bool deletes;
    };
    const Cut cuts[] = {{"Tanatos", TanatosFixture().Bytes(), kTanatosStubAt + 16, true},
                        {"BagleN", BagleNFixture().Bytes(), 0x602, false}};
    for (const Cut& cut : cuts) {
        for (std::size_t length = 1; length <= cut.patternEnd + 1; ++length) {
            SCOPED_TRACE(std::string(cut.name) + " cut at " + std::to_string(length));
            const std::string path = Put("cut/help.dat", cut.full.substr(0, length));
            const bool detected = length >= cut.patternEnd;
            ASSERT_EQ(Classify(path), detected ? 1 : 0);
            ASSERT_EQ(Exists(path), !(detected && cut.deletes));
            tm.view.ResetLog();
        }
    }
}

struct TanatosRow {
    const char* name;
    const char* relative;
    bool dumaruWindow;  // the file also holds a rule window
    bool inUse;         // a program runs from the file
    int family;
    bool deleted;
};

const TanatosRow kTanatosRows[] = {
    {"SetupExeIsKept", "Programy/Instalator/setup.exe", false, false, 0, false},
    {"UpperCaseExeIsAProgramToo", "Programy/Instalator/SETUP.EXE", false, false, 0, false},
    {"HelpDatIsDeleted", "Programy/Instalator/help.dat", false, false, 1, true},
    {"ExeInAnAutorunFolderIsDeleted", "Autorun/setup.exe", false, false, 1, true},
    {"ExeInAnAutostartFolderIsDeleted", "Dokumenty/Menu Start/Programy/Autostart/x.exe", false, false, 1, true},
    {"SetupExeGetsTheRuleTablesVerdict", "Programy/setup.exe", true, false, 11, true},
    {"HelpDatThatCannotGoFallsToTheRuleTable", "Programy/help.dat", false, true, 0, false},
};

class TanatosCarrier : public testing::TestWithParam<TanatosRow> {};

TEST_P(TanatosCarrier, IsReportedThenDeletedOnlyWhereItMayBe) {
    const TanatosRow& row = GetParam();
    ClassifierBench bench;
    CPeFixture pe = TanatosFixture();
    if (row.dumaruWindow) pe.Place(1667, BodyOf(11).substr(1667));
    const std::string path = bench.Put(row.relative, pe.Bytes());
    if (row.inUse) bench.tm.machine.StartProcess(path);

    EXPECT_EQ(bench.Classify(path), row.family);
    EXPECT_EQ(bench.Exists(path), !row.deleted);
    std::vector<std::string> expected = {T(12) + path};
    if (row.family == 1) expected.push_back(T(7) + path + " (Tanatos)");
    if (row.family == 11) expected.push_back(T(7) + path + " (I-Worm.Dumaru)");
    EXPECT_EQ(bench.Log(), expected);
    EXPECT_TRUE(bench.tm.machine.RestartDeletions().empty()) << "a Tanatos carrier is never queued";
}

INSTANTIATE_TEST_SUITE_P(Places, TanatosCarrier, testing::ValuesIn(kTanatosRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Classifier, BagleNIsReportedAndStoppedButKept) {
    // The file also holds a Bagle window: the pre-check's verdict stands and
    // the rule table, which would delete it, is not consulted.
    CPeFixture pe = BagleNFixture();
    pe.Place(14315, BodyOf(10).substr(14315));
    const std::string path = Put("WINDOWS/System32/au.exe", pe.Bytes());
    tm.machine.SetAttributes(path, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    const std::uint32_t pid = tm.machine.StartProcess(path);

    EXPECT_EQ(Classify(path), 1);
    EXPECT_FALSE(tm.machine.IsRunning(pid));
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(tm.machine.GetAttributes(path), FILE_ATTRIBUTE_NORMAL);
    // The infected-file line is a finding too, of a file left in place.
    const auto findings = Findings();
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[0].kind, ActionKind::ProcessStopped);
    EXPECT_EQ(findings[1].kind, ActionKind::InfectedFileReported);
    EXPECT_EQ(findings[1].target, path);
    EXPECT_EQ(findings[1].family, "I-Worm.Bagle.n");
    EXPECT_EQ(Log(), (std::vector<std::string>{"   " + T(3) + " (I-Worm.Bagle.n)", T(12) + path + " (I-Worm.Bagle.n)"}));
}

// --- a rule table handed to the classifier ---------------------------------------

namespace {

// A window for a family the built-in table holds no bytes for.
bool FileExists(const std::string& hostPath) { return std::filesystem::exists(hostPath); }

constexpr std::uint8_t kStandInWindow[16] = {'s', 't', 'a', 'n', 'd', '-', 'i', 'n', 0x01, 0x02, 0x03, 0x04,
                                             0x05, 0x06, 0x07, 0x08};

}  // namespace

TEST(HandedRuleTable, GivesItsVerdictAndStartsThatFamilysRemoval) {
    CTestMachine tm;
    std::string body = "MZ";
    Plant(body, 700, std::string(reinterpret_cast<const char*>(kStandInWindow), sizeof kStandInWindow));
    tm.drive.WriteFile("WINDOWS/bot.exe", body);
    tm.drive.WriteFile("WINDOWS/bot2.exe", body);
    const std::string path = WinPath("WINDOWS/bot.exe");

    // The product's own table knows no SpyBot window.
    EXPECT_EQ(tm.dlg->MatchSignatureRules(path), 0);
    ASSERT_TRUE(FileExists(tm.machine.HostPath(path)));

    tm.dlg->UseRuleTable({{3, 700, 16, kStandInWindow}});
    EXPECT_EQ(tm.dlg->ClassifyFile(path), 3);
    EXPECT_FALSE(FileExists(tm.machine.HostPath(path)));
    EXPECT_EQ(tm.view.Log().back(), T(IDS_VIRUS_FILE_DELETED) + path + " (SpyBot)");

    // A handed table replaces the built-in one: an empty one knows nothing,
    // and a rule reaching outside the classifier's read is never matched.
    const std::string other = WinPath("WINDOWS/bot2.exe");
    tm.dlg->UseRuleTable({});
    EXPECT_EQ(tm.dlg->ClassifyFile(other), 0);
    tm.dlg->UseRuleTable({{3, static_cast<std::uint32_t>(kRuleSpan) - 8, 16, kStandInWindow}, {3, 700, 16, nullptr}});
    EXPECT_EQ(tm.dlg->ClassifyFile(other), 0);
    EXPECT_TRUE(FileExists(tm.machine.HostPath(other)));
}
