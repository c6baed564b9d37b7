// The Redlof cleaner on the simulated machine: the Script Host stopped, the
// script behind the "Kernel32" Run value found by its content test, the
// "dllfile" class keys and the Run value removed, the name left for the
// later stages, and that no line claims a step that failed.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "FamilyBench.h"
#include "MachineAudit.h"
#include "cleaners/CleanerPattern.h"

using namespace bench;

namespace {

const std::string kMarker = "For i=1 To Len(E";
constexpr std::size_t kMarkerOffset = 10744;

// The worm's script: text before and after the marker at its offset.
std::string RedlofScript(std::size_t offset = kMarkerOffset, const std::string& marker = kMarker,
                         std::size_t tail = 200) {
    std::string script(offset, 'x');
    script += marker;
    script += std::string(tail, 'y');
    return script;
}

const char* const kDllFileKeys[] = {"shell", "shellex", "scriptengine", "scripthostencode"};

std::string HostLine() { return "   " + T(IDS_SCRIPT_HOST_STOPPED); }
std::string DeletedLine(const std::string& path) { return T(IDS_VIRUS_FILE_DELETED) + path + " (VBS\\Redlof)"; }
std::string RunValueLine() { return "   " + T(IDS_VIRUS_RUN_VALUE_DELETED) + "(VBS\\Redlof)"; }

// The class keys as the worm leaves them, beside the class's own entries.
void PlantDllFileClass(CFamilyBench& b) {
    b.t.machine.PutString(HKCR, "dllfile", "", "Application Extension");
    b.t.machine.PutString(HKCR, "dllfile\\DefaultIcon", "", "%SystemRoot%\\System32\\shell32.dll,-154");
    b.t.machine.PutString(HKCR, "dllfile\\Shell\\Open\\Command", "", "\"%SystemRoot%\\System32\\WScript.exe\" \"%1\"");
    b.t.machine.PutString(HKCR, "dllfile\\ShellEx\\PropertySheetHandlers\\{x}", "", "");
    b.t.machine.PutString(HKCR, "dllfile\\ScriptEngine", "", "VBScript");
    b.t.machine.PutString(HKCR, "dllfile\\ScriptHostEncode", "", "{85131631-480C-11D2-B1F9-00C04F86C324}");
}

bool ClassKeysGone(const CFamilyBench& b) {
    for (const char* key : kDllFileKeys) {
        if (b.t.machine.HasKey(HKCR, std::string("dllfile\\") + key)) return false;
    }
    return true;
}

class RedlofOnPlatform : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(RedlofOnPlatform, InfectedMachineIsCleanedLineByLine) {
    CFamilyBench b(GetParam());
    const std::string script = b.Put("C:\\WINDOWS\\SYSTEM\\Kernel.dll", RedlofScript());
    b.t.machine.PutString(HKLM, kRunKeyPath, "Kernel32", "C:\\WINDOWS\\SYSTEM\\Kernel.dll");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", "C:\\Program Files\\tool.exe");
    PlantDllFileClass(b);
    // Every script host goes, the worm's and any other; the console host
    // does not.
    const std::uint32_t host1 = b.t.machine.StartProcess("C:\\WINDOWS\\System32\\wscript.exe");
    const std::uint32_t host2 = b.t.machine.StartProcess("C:\\Users\\WScript.exe");
    const std::uint32_t console = b.t.machine.StartProcess("C:\\WINDOWS\\System32\\cscript.exe");
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = b.t.dlg->m_familyNames.size();

    EXPECT_TRUE(b.t.dlg->CleanRedlof());

    // The data is worked on in lower case, and so the line shows the path.
    EXPECT_EQ(b.Log(), (std::vector<std::string>{HostLine(), HostLine(), DeletedLine("c:\\windows\\system\\kernel.dll"),
                                                 RunValueLine()}));
    EXPECT_FALSE(b.t.machine.IsRunning(host1));
    EXPECT_FALSE(b.t.machine.IsRunning(host2));
    EXPECT_TRUE(b.t.machine.IsRunning(console));
    EXPECT_FALSE(b.Exists(script));
    EXPECT_TRUE(ClassKeysGone(b));
    EXPECT_EQ(b.Value(HKCR, "dllfile", ""), "Application Extension");
    EXPECT_TRUE(b.t.machine.HasKey(HKCR, "dllfile\\DefaultIcon"));
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Kernel32"), "<missing>");
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Tool"), "C:\\Program Files\\tool.exe");
    EXPECT_TRUE(b.t.machine.RestartDeletions().empty());

    const auto findings = b.Findings();
    ASSERT_EQ(findings.size(), 4u);
    EXPECT_EQ(findings[2].kind, ActionKind::FileDeleted);
    EXPECT_EQ(findings[2].family, "VBS\\Redlof");
    EXPECT_EQ(findings[3].kind, ActionKind::RegistryValueDeleted);
    EXPECT_EQ(findings[3].target, "HKEY_LOCAL_MACHINE\\" + std::string(kRunKeyPath) + "\\Kernel32");

    EXPECT_EQ(b.NamesFrom(namesBefore), std::vector<std::string>{"stationery"});
    ASSERT_EQ(b.t.dlg->m_familyNames.size(), familiesBefore + 1);
    EXPECT_EQ(b.t.dlg->m_familyNames.back(), "VBS\\Redlof");
    EXPECT_EQ(b.t.dlg->m_familyNameCount[familiesBefore], 1);
    EXPECT_TRUE(b.HasExtension(".chk"));
    EXPECT_TRUE(b.HasExtension(".gif"));
    EXPECT_EQ(b.t.machine.OpenFileCount(), 0);
}

TEST_P(RedlofOnPlatform, CleanMachineGetsNoLineAndKeepsTheClass) {
    CFamilyBench b(GetParam());
    PlantDllFileClass(b);
    b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", "C:\\Program Files\\tool.exe");

    b.t.dlg->CleanRedlof();

    EXPECT_TRUE(b.Log().empty());
    EXPECT_TRUE(b.Findings().empty());
    for (const char* key : kDllFileKeys) EXPECT_TRUE(b.t.machine.HasKey(HKCR, std::string("dllfile\\") + key)) << key;
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Tool"), "C:\\Program Files\\tool.exe");
}

INSTANTIATE_TEST_SUITE_P(Families, RedlofOnPlatform, testing::Values(NT, W9X),
                         [](const auto& info) { return PlatformName(info.param); });

// --- the content test -----------------------------------------------------------

namespace {

struct ContentCase {
    const char* name;
    std::string content;
    const char* data;  // the "Kernel32" value
    bool deleted;
};

void PrintTo(const ContentCase& c, std::ostream* os) { *os << c.name; }

class RedlofContent : public testing::TestWithParam<ContentCase> {};

const char* const kScriptData = "C:\\WINDOWS\\SYSTEM\\Kernel.dll";

const ContentCase kContentCases[] = {
    {"Marker", RedlofScript(), kScriptData, true},
    {"QuotedPath", RedlofScript(), "\"C:\\WINDOWS\\SYSTEM\\Kernel.dll\"", true},
    {"EndsRightAfterTheMarker", RedlofScript(kMarkerOffset, kMarker, 0), kScriptData, true},
    // One byte short: the missing byte reads as zero and fails the test.
    {"EndsInsideTheMarker", RedlofScript(kMarkerOffset, kMarker.substr(0, 15), 0), kScriptData, false},
    {"ShortFile", "For i=1 To Len(E", kScriptData, false},
    {"OneByteDiffers", RedlofScript(kMarkerOffset, "For i=1 To Len(F"), kScriptData, false},
    {"LetterCaseDiffers", RedlofScript(kMarkerOffset, "for i=1 To Len(E"), kScriptData, false},
    {"OneByteEarly", RedlofScript(kMarkerOffset - 1), kScriptData, false},
    // The path is not cut: with an argument it names no file.
    {"ArgumentAfterThePath", RedlofScript(), "C:\\WINDOWS\\SYSTEM\\Kernel.dll /s", false},
};

}  // namespace

TEST_P(RedlofContent, DecidesAloneWhetherTheFileGoes) {
    const ContentCase& c = GetParam();
    CFamilyBench b;
    const std::string path = b.Put(kScriptData, c.content);
    b.t.machine.PutString(HKLM, kRunKeyPath, "KERNEL32", c.data);
    PlantDllFileClass(b);

    b.t.dlg->CleanRedlof();

    std::vector<std::string> expected;
    if (c.deleted) expected.push_back(DeletedLine("c:\\windows\\system\\kernel.dll"));
    expected.push_back(RunValueLine());
    EXPECT_EQ(b.Log(), expected);
    EXPECT_EQ(b.Exists(path), !c.deleted);
    // The value shows the infection: the class keys and the value go even
    // when the file is not the worm's.
    EXPECT_TRUE(ClassKeysGone(b));
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Kernel32"), "<missing>");
}

INSTANTIATE_TEST_SUITE_P(Cases, RedlofContent, testing::ValuesIn(kContentCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Redlof, ProtectedScriptIsDeletedAndOneThatWillNotGoIsLeftWithoutALine) {
    {
        CFamilyBench b;
        const std::string path = b.Put(kScriptData, RedlofScript());
        b.t.machine.SetAttributes(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        b.t.machine.PutString(HKLM, kRunKeyPath, "Kernel32", kScriptData);
        b.t.dlg->CleanRedlof();
        EXPECT_FALSE(b.Exists(path));
        EXPECT_EQ(b.Log(), (std::vector<std::string>{DeletedLine("c:\\windows\\system\\kernel.dll"), RunValueLine()}));
    }
    {
        // Running from the file: it cannot go now, and it is not left for
        // the restart either.
        CFamilyBench b;
        const std::string path = b.Put(kScriptData, RedlofScript());
        b.t.machine.StartProcess(path);
        b.t.machine.PutString(HKLM, kRunKeyPath, "Kernel32", kScriptData);
        b.t.dlg->CleanRedlof();
        EXPECT_TRUE(b.Exists(path));
        EXPECT_TRUE(b.t.machine.RestartDeletions().empty());
        EXPECT_EQ(b.Log(), std::vector<std::string>{RunValueLine()});
    }
}

// --- what is not Redlof's ------------------------------------------------------------

namespace {

struct NearMissCase {
    const char* name;
    RegKey root;
    const char* valueName;
    const char* data;
};

void PrintTo(const NearMissCase& c, std::ostream* os) { *os << c.name; }

class RedlofNearMiss : public testing::TestWithParam<NearMissCase> {};

const NearMissCase kNearMisses[] = {
    {"DataWithoutKernel", HKLM, "Kernel32", "C:\\WINDOWS\\SYSTEM\\k32.dll"},
    {"OtherValueName", HKLM, "Kernel", "C:\\WINDOWS\\SYSTEM\\Kernel.dll"},
    // The user's Run key is not looked at.
    {"UnderTheUser", HKCU, "Kernel32", "C:\\WINDOWS\\SYSTEM\\Kernel.dll"},
};

}  // namespace

TEST_P(RedlofNearMiss, LeavesValueFileAndClassAlone) {
    const NearMissCase& c = GetParam();
    CFamilyBench b;
    const std::string path = b.Put(c.data, RedlofScript());
    b.t.machine.PutString(c.root, kRunKeyPath, c.valueName, c.data);
    PlantDllFileClass(b);

    b.t.dlg->CleanRedlof();

    EXPECT_TRUE(b.Log().empty());
    EXPECT_TRUE(b.Exists(path));
    EXPECT_EQ(b.Value(c.root, kRunKeyPath, c.valueName), c.data);
    for (const char* key : kDllFileKeys) EXPECT_TRUE(b.t.machine.HasKey(HKCR, std::string("dllfile\\") + key)) << key;
}

INSTANTIATE_TEST_SUITE_P(Cases, RedlofNearMiss, testing::ValuesIn(kNearMisses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Redlof, LaterStagesFindItsNameUnderItsFamily) {
    // On 9x: the NT family lists every process name with ".exe", and the
    // name has no extension.
    CFamilyBench b(W9X);
    b.t.dlg->CleanMyDoom();
    b.t.dlg->CleanRedlof();
    const std::uint32_t pid = b.t.machine.StartProcess("D:\\Stationery");
    b.t.machine.PutString(HKCU, kRunKeyPath, "Mail", "C:\\WINDOWS\\stationery");
    b.ClearLog();

    b.t.dlg->CheckRunEntries(b.t.dlg->m_virusFileNames);
    b.t.dlg->KillRegisteredProcesses();

    EXPECT_EQ(b.Log(), (std::vector<std::string>{RunEntryLine("VBS\\Redlof", "stationery"),
                                                 KillRegisteredLine("VBS\\Redlof", "stationery")}));
    EXPECT_FALSE(b.t.machine.IsRunning(pid));
    EXPECT_EQ(b.Value(HKCU, kRunKeyPath, "Mail"), "<missing>");
}

// --- fault sweep --------------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {
    "ProcessSnapshot", "OpenProcess", "TerminateProcess", "FirstModuleFileName", "OpenKey",      "CloseKey",
    "EnumValue",       "EnumKey",     "DeleteKey",        "DeleteValue",         "OpenForRead",  "ReadAt",
    "GetAttributes",   "SetAttributes", "RemoveFile",     "RemoveAtRestart"};

int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CFamilyBench b(platform);
    b.Put(kScriptData, RedlofScript());
    const std::string other = b.Put("C:\\WINDOWS\\SYSTEM\\other.dll", RedlofScript());
    b.t.machine.PutString(HKLM, kRunKeyPath, "Kernel32", kScriptData);
    b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", "C:\\WINDOWS\\SYSTEM\\other.dll");
    PlantDllFileClass(b);
    b.t.machine.StartProcess("C:\\WINDOWS\\System32\\wscript.exe");
    b.t.machine.StartProcess("C:\\WINDOWS\\System32\\wscript.exe");

    SAuditOptions options;
    for (const char* key : kDllFileKeys) options.silentKeys.push_back(std::string("HKEY_CLASSES_ROOT\\dllfile\\") + key);
    const int fired = AuditedFaultRun(b.t.machine, b.t.view, fault, [&] { b.t.dlg->CleanRedlof(); }, options);
    EXPECT_TRUE(b.Exists(other));
    EXPECT_NE(b.Value(HKLM, kRunKeyPath, "Tool"), "<missing>");
    return fired;
}

class RedlofFaultSweep : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(RedlofFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED}, [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, RedlofFaultSweep, testing::Values(NT, W9X),
                         [](const auto& info) { return PlatformName(info.param); });
