// The Swen cleaner on the simulated machine: the body found through a Run
// value, the names it leaves for the later stages, the memory scan when no
// Run value leads to the body, the restored settings, the marker keys and
// values, and that no line claims a step that failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "scan/RuleTable.h"
#include "sys/Text.h"

namespace {

const RegKey HKLM = winroot::kLocalMachine;
const RegKey HKCU = winroot::kCurrentUser;
const RegKey HKCR = winroot::kClassesRoot;
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;

const char* const kPolicyKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char* const kExplorerKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer";
const char* const kBatchFile = "C:\\WINDOWS\\KESTRO-PC.bat";

std::string T(std::uint32_t id) { return BuiltInString(id); }
std::string PlatformName(std::uint32_t platform) { return platform == NT ? "NT" : "Win9x"; }

// Functions, not constants: the string table is not there yet while the
// statics of this file are being built.
std::string RestoreLine() { return "   " + T(IDS_REGISTRY_KEY_RESTORED) + "(Worm.Swen)"; }
std::string MarkerKeyLine() { return T(IDS_VIRUS_KEY_DELETED) + "(Worm.Swen)"; }
std::string ClassifierLine(const std::string& path) { return T(IDS_VIRUS_FILE_DELETED) + path + " (I-Worm.Swen)"; }

const int kSwenCode = 4;

// The open commands the worm points at itself, with what the system had.
struct Command {
    const char* key;
    const char* hijacked;
    const char* restored;
};
const Command kCommands[] = {
    {"comfile\\shell\\open\\command", "C:\\WINDOWS\\winupd.exe \"%1\" %*", "\"%1\" %*"},
    {"batfile\\shell\\open\\command", "C:\\WINDOWS\\winupd.exe \"%1\" %*", "\"%1\" %*"},
    {"exefile\\shell\\open\\command", "C:\\WINDOWS\\winupd.exe \"%1\" %*", "\"%1\" %*"},
    {"regfile\\shell\\open\\command", "C:\\WINDOWS\\winupd.exe showerror", "regedit.exe \"%1\""},
    {"piffile\\shell\\open\\command", "C:\\WINDOWS\\winupd.exe \"%1\" %*", "\"%1\" %*"},
    {"scrfile\\shell\\open\\command", "C:\\WINDOWS\\winupd.exe \"%1\" /S", "\"%1\" /S"},
    {"scrfile\\shell\\config\\command", "C:\\WINDOWS\\winupd.exe \"%1\" %*", "\"%1\" %*"},
};
const char* const kMarkerValues[] = {"Install Item", "Installed",   "Kazaa Infect",
                                     "Mirc Install Folder", "Unfile", "ZipName"};

std::string Text(const CSimMachine& m, RegKey root, const std::string& key, const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!m.GetValue(root, key, name, type, data)) return "<missing>";
    std::string s(data.begin(), data.end());
    return s.substr(0, s.find('\0'));
}

// The dialog on a fresh machine, its start-up lines and findings set aside.
class CSwenBench {
public:
    explicit CSwenBench(std::uint32_t platform) : t(platform) {
        t.view.ResetLog();
        m_findingsBefore = t.view.Findings().size();
    }

    std::string Put(const std::string& relative, const std::string& bytes = "MZ") {
        t.drive.WriteFile(relative, bytes);
        std::string path = "C:\\" + relative;
        std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    }
    // Looked up on the host, so that a fault injected into the machine
    // cannot change what the test sees.
    bool Exists(const std::string& path) { return std::filesystem::exists(t.machine.HostPath(path)); }
    void Marker(const std::string& sub, bool installItem, const char* installed) {
        const std::string key = std::string(kExplorerKey) + "\\" + sub;
        if (installItem) t.machine.PutString(HKLM, key, "Install Item", "C:\\WINDOWS\\winupd.exe");
        if (installed) t.machine.PutString(HKLM, key, "Installed", installed);
        if (!installItem && !installed) t.machine.PutString(HKLM, key, "Other", "x");
    }
    std::vector<std::string> Log() const { return t.view.Log(); }
    std::vector<Finding> Findings() const {
        const auto all = t.view.Findings();
        return std::vector<Finding>(all.begin() + static_cast<std::ptrdiff_t>(m_findingsBefore), all.end());
    }
    // The names registered from `first` on, and the family entries.
    std::vector<std::string> NamesFrom(std::size_t first) const {
        const auto& names = t.dlg->m_virusFileNames;
        return std::vector<std::string>(names.begin() + static_cast<std::ptrdiff_t>(first), names.end());
    }

    CTestMachine t;

private:
    std::size_t m_findingsBefore = 0;
};

// Every trace of the worm: two Run values leading to bodies (one quoted
// with a switch, one a bare name in the Windows directory), a Run value of
// an ordinary program, the batch file, the policy, every open command, a
// marker subkey and the marker values.
struct Infection {
    std::string quotedBody, bareBody, program;
};
Infection Plant(CSwenBench& b) {
    Infection in;
    in.quotedBody = b.Put("WINDOWS/Qwe1.exe", BodyOf(kSwenCode));
    in.bareBody = b.Put("WINDOWS/kbupd.exe", BodyOf(kSwenCode));
    in.program = b.Put("Program Files/app.exe", "MZ an ordinary program");
    b.Put("WINDOWS/KESTRO-PC.bat", "@echo off");
    b.t.machine.PutString(HKLM, kRunKeyPath, "App", "\"C:\\Program Files\\app.exe\" -min");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Zcpyrr", "\"C:\\WINDOWS\\Qwe1.exe\" -autorun");
    b.t.machine.PutString(HKCU, kRunKeyPath, "Kbupd", "kbupd.exe");
    b.t.machine.PutDword(HKCU, kPolicyKey, "DisableRegistryTools", 1);
    for (const Command& c : kCommands) b.t.machine.PutString(HKCR, c.key, "", c.hijacked);
    b.Marker("Zcpyrr", true, "... BY BEGBIE");
    for (const char* v : kMarkerValues) b.t.machine.PutString(HKLM, kExplorerKey, v, "1");
    return in;
}

class SwenOnPlatform : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(SwenOnPlatform, InfectedMachineIsCleanedLineByLine) {
    CSwenBench b(GetParam());
    const Infection in = Plant(b);
    // A body running from elsewhere: with Run values leading to the worm the
    // memory scan is left to its own stage, so this one must stay untouched.
    const std::string runner = b.Put("WINDOWS/System32/other.exe", BodyOf(kSwenCode));
    const std::uint32_t pid = b.t.machine.StartProcess(runner);
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = b.t.dlg->m_familyNames.size();
    const std::vector<std::string> extensionsBefore = b.t.dlg->m_walker.Extensions();

    b.t.dlg->CleanSwen();

    std::vector<std::string> expected = {ClassifierLine(in.quotedBody), ClassifierLine(in.bareBody)};
    expected.insert(expected.end(), 1 + std::size(kCommands), RestoreLine());
    expected.push_back(MarkerKeyLine());
    expected.insert(expected.end(), std::size(kMarkerValues), RestoreLine());
    EXPECT_EQ(b.Log(), expected);

    // The bodies and the batch file are gone; the program and the running
    // body are not, and the Run values are the later stages' business.
    EXPECT_FALSE(b.Exists(in.quotedBody));
    EXPECT_FALSE(b.Exists(in.bareBody));
    EXPECT_FALSE(b.Exists(kBatchFile));
    EXPECT_TRUE(b.Exists(in.program));
    EXPECT_TRUE(b.Exists(runner));
    EXPECT_TRUE(b.t.machine.IsRunning(pid));
    EXPECT_NE(Text(b.t.machine, HKLM, kRunKeyPath, "Zcpyrr"), "<missing>");
    EXPECT_NE(Text(b.t.machine, HKCU, kRunKeyPath, "Kbupd"), "<missing>");

    EXPECT_EQ(Text(b.t.machine, HKCU, kPolicyKey, "DisableRegistryTools"), "<missing>");
    for (const Command& c : kCommands) EXPECT_EQ(Text(b.t.machine, HKCR, c.key, ""), c.restored) << c.key;
    EXPECT_FALSE(b.t.machine.HasKey(HKLM, std::string(kExplorerKey) + "\\Zcpyrr"));
    EXPECT_TRUE(b.t.machine.HasKey(HKLM, kExplorerKey));
    for (const char* v : kMarkerValues) EXPECT_EQ(Text(b.t.machine, HKLM, kExplorerKey, v), "<missing>") << v;

    // The fixed names, then the names found, each group under its own count.
    EXPECT_EQ(b.NamesFrom(namesBefore),
              (std::vector<std::string>{"germs0.dbv", "germs1d.dbv", "swen1.dat", "qwe1.exe", "kbupd.exe"}));
    const auto& families = b.t.dlg->m_familyNames;
    ASSERT_EQ(families.size(), familiesBefore + 2);
    EXPECT_EQ(families[familiesBefore], "Worm.Swen");
    EXPECT_EQ(families[familiesBefore + 1], "Worm.Swen");
    EXPECT_EQ(b.t.dlg->m_familyNameCount[familiesBefore], 3);
    EXPECT_EQ(b.t.dlg->m_familyNameCount[familiesBefore + 1], 2);
    EXPECT_EQ(b.t.dlg->FamilyNameOfRegisteredName(namesBefore + 4), "Worm.Swen");

    std::vector<std::string> extensions = extensionsBefore;
    for (const char* e : {".exe", ".dbv", ".tmp", ".dat", ".scr", ".pif"}) {
        const bool present = std::any_of(extensions.begin(), extensions.end(),
                                         [&](const std::string& x) { return EqualsNoCase(x, e); });
        if (!present) extensions.push_back(e);
    }
    EXPECT_EQ(b.t.dlg->m_walker.Extensions(), extensions);

    // Each line is a finding naming what it changed.
    const auto findings = b.Findings();
    ASSERT_EQ(findings.size(), expected.size());
    EXPECT_EQ(findings[2].target, "HKEY_CURRENT_USER\\" + std::string(kPolicyKey) + "\\DisableRegistryTools");
    EXPECT_EQ(findings[2].kind, ActionKind::RegistryValueDeleted);
    EXPECT_EQ(findings[3].kind, ActionKind::RegistryValueRestored);
    EXPECT_EQ(findings[10].kind, ActionKind::RegistryKeyDeleted);
    EXPECT_EQ(findings[10].target, "HKEY_LOCAL_MACHINE\\" + std::string(kExplorerKey) + "\\Zcpyrr");
    EXPECT_EQ(findings[10].family, "Worm.Swen");
    EXPECT_EQ(b.t.machine.OpenFileCount(), 0);
}

TEST_P(SwenOnPlatform, CleanMachineGivesNoLineAndTouchesNothing) {
    CSwenBench b(GetParam());
    b.Put("WINDOWS/KESTRO-PC.bat", "@echo off");
    b.Put("Program Files/app.exe", "MZ an ordinary program");
    const std::uint32_t pid = b.t.machine.StartProcess("C:\\Program Files\\app.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "App", "\"C:\\Program Files\\app.exe\" -min");
    // The system's own commands, in whatever case the system wrote them.
    for (const Command& c : kCommands) b.t.machine.PutString(HKCR, c.key, "", c.restored);
    b.t.machine.PutString(HKCR, "exefile\\shell\\open\\command", "", "\"%1\" %*");
    b.t.machine.PutString(HKCR, "regfile\\shell\\open\\command", "", "REGEDIT.EXE \"%1\"");
    b.t.machine.PutDword(HKCU, kPolicyKey, "NoDispCPL", 1);
    b.Marker("{5945c046-1e7d-11d1-bc44-00c04fd912be}", false, nullptr);
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = b.t.dlg->m_familyNames.size();

    b.t.dlg->CleanSwen();

    EXPECT_TRUE(b.Log().empty());
    EXPECT_TRUE(b.Findings().empty());
    EXPECT_TRUE(b.Exists(kBatchFile)) << "the batch file goes only with a body found";
    EXPECT_TRUE(b.t.machine.IsRunning(pid));
    EXPECT_EQ(Text(b.t.machine, HKCR, "regfile\\shell\\open\\command", ""), "REGEDIT.EXE \"%1\"");
    EXPECT_EQ(Text(b.t.machine, HKCU, kPolicyKey, "NoDispCPL"), "\x01");
    EXPECT_TRUE(b.t.machine.HasKey(HKLM, std::string(kExplorerKey) + "\\{5945c046-1e7d-11d1-bc44-00c04fd912be}"));
    EXPECT_EQ(b.NamesFrom(namesBefore), (std::vector<std::string>{"germs0.dbv", "germs1d.dbv", "swen1.dat"}));
    EXPECT_EQ(b.t.dlg->m_familyNames.size(), familiesBefore + 1);
}

TEST_P(SwenOnPlatform, WithoutARunValueTheMemoryScanRunsBeforeTheRepair) {
    CSwenBench b(GetParam());
    const std::string body = b.Put("WINDOWS/swen.exe", BodyOf(kSwenCode));
    b.Put("WINDOWS/KESTRO-PC.bat", "@echo off");
    const std::uint32_t pid = b.t.machine.StartProcess(body);
    b.t.machine.PutString(HKCR, "exefile\\shell\\open\\command", "", "C:\\WINDOWS\\swen.exe \"%1\" %*");
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();

    b.t.dlg->CleanSwen();

    // The running body's file cannot go while it runs: NT schedules it, the
    // 9x family leaves it for the disk walk.
    std::vector<std::string> expected;
    if (GetParam() == NT) expected.push_back(T(IDS_VIRUS_FILE) + body + " (I-Worm.Swen)" + T(IDS_DELETED_AT_RESTART));
    expected.push_back(T(IDS_MODULE) + "swen.exe" + T(IDS_MODULE_STOPPED));
    expected.push_back(RestoreLine());
    EXPECT_EQ(b.Log(), expected);
    EXPECT_FALSE(b.t.machine.IsRunning(pid));
    EXPECT_FALSE(b.Exists(kBatchFile));
    EXPECT_EQ(b.NamesFrom(namesBefore),
              (std::vector<std::string>{"germs0.dbv", "germs1d.dbv", "swen1.dat", "swen.exe"}));
}

INSTANTIATE_TEST_SUITE_P(Families, SwenOnPlatform, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return PlatformName(info.param); });

// --- Run values: which data leads to which file ----------------------------------

namespace {

struct SwenRunCase {
    const char* name;
    const char* file;  // where the body lies, relative to C:
    const char* data;  // the Run value
    bool found;        // classified, deleted and registered
    const char* registered;
};

void PrintTo(const SwenRunCase& c, std::ostream* os) { *os << c.name; }

class SwenRunValue : public testing::TestWithParam<SwenRunCase> {};

}  // namespace

TEST_P(SwenRunValue, LeadsToTheBodyOrNot) {
    const SwenRunCase& c = GetParam();
    CSwenBench b(NT);
    const std::string path = b.Put(c.file, BodyOf(kSwenCode));
    b.t.machine.PutString(HKCU, kRunKeyPath, "Worm", c.data);
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();

    b.t.dlg->CleanSwen();

    std::vector<std::string> names = {"germs0.dbv", "germs1d.dbv", "swen1.dat"};
    if (c.found) {
        names.push_back(c.registered);
        EXPECT_EQ(b.Log(), std::vector<std::string>{ClassifierLine(path)});
    } else {
        EXPECT_TRUE(b.Log().empty());
    }
    EXPECT_EQ(b.Exists(path), !c.found);
    EXPECT_EQ(b.NamesFrom(namesBefore), names);
}

const SwenRunCase kSwenRunCases[] = {
    {"QuotedWithSwitch", "WINDOWS/Msinst.exe", "\"C:\\WINDOWS\\Msinst.exe\" /install", true, "msinst.exe"},
    {"PlainWithArguments", "WINDOWS/a b.exe", "C:\\WINDOWS\\a b.exe -q -r", true, "a b.exe"},
    {"BareNameInWindowsDir", "WINDOWS/Iexplore32.exe", "Iexplore32.exe", true, "iexplore32.exe"},
    {"RelativeInWindowsDir", "WINDOWS/sub/w.exe", "sub\\w.exe /x", true, "w.exe"},
    {"UpperCaseExtensionWithoutArguments", "WINDOWS/UPD.EXE", "\"C:\\WINDOWS\\UPD.EXE\"", true, "upd.exe"},
    // Only ".exe" in lower case starts the cut: the switch stays and the
    // path names no file.
    {"UpperCaseExtensionKeepsItsArguments", "WINDOWS/UPD.EXE", "C:\\WINDOWS\\UPD.EXE /q", false, nullptr},
    // A bare name is not looked for in the system directory.
    {"BareNameNotInSystemDir", "WINDOWS/System32/kb.exe", "kb.exe", false, nullptr},
    {"EmptyData", "WINDOWS/e.exe", "", false, nullptr},
    {"OnlyQuotes", "WINDOWS/e.exe", "\"\"", false, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, SwenRunValue, testing::ValuesIn(kSwenRunCases),
                         [](const testing::TestParamInfo<SwenRunCase>& info) { return info.param.name; });

// --- marker subkeys -------------------------------------------------------------

namespace {
class SwenMarkers : public testing::TestWithParam<std::uint32_t> {};
}  // namespace

TEST_P(SwenMarkers, OnlyKeysWithBothMarksGoAndNoneIsPassedOver) {
    CSwenBench b(GetParam());
    // In enumeration order; m1 and m2 are adjacent, so deleting m1 moves m2
    // into the index just read.
    b.Marker("m1", true, "... by Begbie");
    b.Marker("m2", true, "... By BeGbIe");
    b.Marker("noItem", false, "... by Begbie");
    b.Marker("otherText", true, "... by someone else");
    b.Marker("prefixOnly", true, "... by Begbie and more");
    b.Marker("m3", true, "... BY BEGBIE");
    b.Marker("noInstalled", true, nullptr);
    // On NT a key with subkeys cannot go by a single deletion: it stays,
    // and no line says otherwise.
    b.Marker("withChild", true, "... by Begbie");
    b.t.machine.PutString(HKLM, std::string(kExplorerKey) + "\\withChild\\inner", "x", "y");

    b.t.dlg->CleanSwen();

    const bool nt = GetParam() == NT;
    EXPECT_EQ(b.Log(), std::vector<std::string>(nt ? 3 : 4, MarkerKeyLine()));
    for (const char* gone : {"m1", "m2", "m3"})
        EXPECT_FALSE(b.t.machine.HasKey(HKLM, std::string(kExplorerKey) + "\\" + gone)) << gone;
    for (const char* kept : {"noItem", "otherText", "prefixOnly", "noInstalled"})
        EXPECT_TRUE(b.t.machine.HasKey(HKLM, std::string(kExplorerKey) + "\\" + kept)) << kept;
    EXPECT_EQ(b.t.machine.HasKey(HKLM, std::string(kExplorerKey) + "\\withChild"), nt);
}

INSTANTIATE_TEST_SUITE_P(Families, SwenMarkers, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return PlatformName(info.param); });

TEST(SwenEdges, TwoBodiesDeleteTheBatchFileOnceAndCountTwo) {
    CSwenBench b(NT);
    b.Put("WINDOWS/a.exe", BodyOf(kSwenCode));
    b.Put("WINDOWS/b.exe", BodyOf(kSwenCode));
    b.Put("WINDOWS/KESTRO-PC.bat");
    b.t.machine.PutString(HKLM, kRunKeyPath, "A", "a.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "B", "b.exe");
    b.t.machine.FailCall("RemoveFile", ".bat", ERROR_ACCESS_DENIED, 2);  // a second attempt would fire
    const std::size_t familiesBefore = b.t.dlg->m_familyNames.size();
    b.t.dlg->CleanSwen();
    EXPECT_FALSE(b.Exists(kBatchFile));
    EXPECT_EQ(b.t.machine.FaultsFired(), 0);
    EXPECT_EQ(b.t.dlg->m_familyNameCount[familiesBefore + 1], 2);
}

TEST(SwenEdges, UnknownComputerNameDeletesNoNamelessBatchFile) {
    CSwenBench b(NT);
    b.Put("WINDOWS/a.exe", BodyOf(kSwenCode));
    const std::string nameless = b.Put("WINDOWS/.bat");
    b.t.machine.PutString(HKLM, kRunKeyPath, "A", "a.exe");
    b.t.machine.FailCall("ComputerName", "", ERROR_ACCESS_DENIED);
    b.t.dlg->CleanSwen();
    EXPECT_TRUE(b.Exists(nameless));
    EXPECT_EQ(b.Log(), std::vector<std::string>{ClassifierLine("C:\\WINDOWS\\a.exe")});
}

// --- fault sweep ------------------------------------------------------------------

namespace {

// Every platform call the cleaner makes, the classifier's and the memory
// scan's included.
const std::vector<std::string> kSweptCalls = {
    "ComputerName", "OpenKey",       "EnumValue",       "QueryValue",          "SetValue",    "SetKeyDefault",
    "EnumKey",      "DeleteKey",     "DeleteValue",     "OpenForRead",         "ReadAt",      "FileInfo",
    "GetAttributes", "SetAttributes", "RemoveFile",     "RemoveAtRestart",     "ProcessSnapshot",
    "OpenProcess",  "TerminateProcess", "FirstModuleFileName",
};

// One run on the infected machine (with Run values, or with only a running
// body when `memory`) with one injected fault: the audit holds every line
// against the machine and every change against the lines, and a restored
// open command holds exactly the system's own text.
int RunWithFault(std::uint32_t platform, bool memory, const SFault& fault) {
    CSwenBench b(platform);
    if (memory) {
        b.t.machine.StartProcess(b.Put("WINDOWS/swen.exe", BodyOf(kSwenCode)));
        b.t.machine.PutDword(HKCU, kPolicyKey, "DisableRegistryTools", 1);
        for (const Command& c : kCommands) b.t.machine.PutString(HKCR, c.key, "", c.hijacked);
        b.Marker("Zcpyrr", true, "... by Begbie");
        b.Marker("Zcpyrs", true, "... by Begbie");
    } else {
        Plant(b);
        b.Marker("Zcpyrs", true, "... by Begbie");
    }

    SAuditOptions options;
    // The batch file named after the computer goes without a line whenever
    // a Swen body is found.
    options.silentFiles = {kBatchFile};
    const int fired = AuditedFaultRun(b.t.machine, b.t.view, fault, [&] { b.t.dlg->CleanSwen(); }, options);
    for (const Command& c : kCommands) {
        const std::string now = Text(b.t.machine, HKCR, c.key, "");
        EXPECT_TRUE(now == c.hijacked || now == c.restored) << c.key << ": " << now;
    }
    return fired;
}

class SwenFaultSweep : public testing::TestWithParam<std::tuple<std::uint32_t, bool>> {};

}  // namespace

TEST_P(SwenFaultSweep, NoLineClaimsAFailedStep) {
    const auto [platform, memory] = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED},
                [&, platform = platform, memory = memory](const SFault& fault) {
                    return RunWithFault(platform, memory, fault);
                });
}

INSTANTIATE_TEST_SUITE_P(Families, SwenFaultSweep, testing::Combine(testing::Values(NT, W9X), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<std::uint32_t, bool>>& info) {
                             return PlatformName(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "Memory" : "RunValues");
                         });
