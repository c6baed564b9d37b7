// The NetSky cleaner on the simulated machine: the eight variants known by
// their Run value, bodies known to the classifier, the restore table kept
// across both roots, the webcheck repair, and a fault sweep.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "scan/RuleTable.h"
#include "sys/Text.h"

namespace {

namespace fs = std::filesystem;

const RegKey HKLM = winroot::kLocalMachine;
const RegKey HKCU = winroot::kCurrentUser;
const RegKey HKCR = winroot::kClassesRoot;
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;
const char* const kWebcheckKey = "CLSID\\{E6FB5E20-DE35-11CF-9C87-00AA005127ED}\\InProcServer32";
const char* const kHijackedWebcheck = "C:\\WINDOWS\\System32\\shimgapi.dll";

std::string T(std::uint32_t id) { return BuiltInString(id); }

const std::string kRunLine = "   " + T(IDS_VIRUS_RUN_VALUE_DELETED) + "(I-Worm.NetSky (alias Moodown)";
std::string KillLine(const std::string& tag) { return "   " + T(IDS_VIRUS_MODULE_STOPPED) + tag; }
std::string DeletedLine(const std::string& path, const std::string& tag) {
    return T(IDS_VIRUS_FILE_DELETED) + path + tag;
}
std::string RestartLine(const std::string& path, const std::string& tag) {
    return T(IDS_VIRUS_FILE) + tag + path + T(IDS_DELETED_AT_RESTART);
}

bool HasValue(const CSimMachine& m, RegKey root, const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    return m.GetValue(root, kRunKeyPath, name, type, data);
}

std::string WebcheckValue(const CSimMachine& m) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!m.GetValue(HKCR, kWebcheckKey, "", type, data)) return "<missing>";
    std::string s(data.begin(), data.end());
    return s.substr(0, s.find('\0'));
}

// A body the classifier takes for NetSky: zeros holding its first window.
std::string NetSkyBody() { return BodyOf(18); }

// What no rule matches.
const char* const kPlainBody = "MZ just a program";

std::string FamilyName(std::uint32_t platformId) { return platformId == NT ? "NT" : "Win9x"; }

}  // namespace

// --- the eight variants -------------------------------------------------------

struct VariantCase {
    const char* name;
    const char* valueName;  // as planted
    const char* data;       // as planted
    const char* path;       // the file the data starts
    bool processFirst;
    const char* killTag;
    const char* deletedTag;
    const char* restartTag;
};

void PrintTo(const VariantCase& c, std::ostream* os) { *os << c.name; }

const VariantCase kVariantCases[] = {
    {"O_VisualGuard", "NetDy", "C:\\WINDOWS\\VisualGuard.exe", "C:\\WINDOWS\\VisualGuard.exe", false,
     " (I-Worm.NetSky.M) ", " (I-Worm.NetSky.O) ", "(I-Worm.NetSky.O) "},
    // The name is compared without regard to case.
    {"O_NameInLowerCase", "netdy", "\"C:\\WINDOWS\\VisualGuard.exe\"", "C:\\WINDOWS\\VisualGuard.exe", false,
     " (I-Worm.NetSky.M) ", " (I-Worm.NetSky.O) ", "(I-Worm.NetSky.O) "},
    {"M_AVprotect9x", "9xHtProtect", "C:\\WINDOWS\\AVprotect9x.exe", "C:\\WINDOWS\\AVprotect9x.exe", false,
     " (I-Worm.NetSky.M) ", " (I-Worm.NetSky.M) ", "(I-Worm.NetSky.M) "},
    {"L_AVprotect", "HtProtect", "C:\\WINDOWS\\AVprotect.exe", "C:\\WINDOWS\\AVprotect.exe", true,
     " (I-Worm.NetSky.L) ", " (I-Worm.NetSky.L) ", "(I-Worm.NetSky.L) "},
    {"K_Winlogon", "ICQ Net", "C:\\WINDOWS\\winlogon.exe -stealth", "C:\\WINDOWS\\winlogon.exe", true,
     " (I-Worm.NetSky.K) ", " (I-Worm.NetSky.K) ", "(I-Worm.NetSky.K) "},
    // A bare name is looked for in the Windows directory.
    {"I_FoodingRelative", "Tiny AV", "fooding.exe -antivirus service", "C:\\WINDOWS\\fooding.exe", true,
     " (I-Worm.NetSky.I) ", " (I-Worm.NetSky.I) ", "(I-Worm.NetSky.I) "},
    {"H_Maja", "Antivirus", "%systemroot%\\maja.exe -antivirus service", "C:\\WINDOWS\\maja.exe", false,
     " (I-Worm.NetSky.H) ", " (I-Worm.NetSky.H) ", "(I-Worm.NetSky.H) "},
    {"G_Avguard", "Special Firewall Service", "C:\\WINDOWS\\avguard.exe -av service", "C:\\WINDOWS\\avguard.exe",
     true, " (I-Worm.NetSky.G) ", " (I-Worm.NetSky.G) ", "(I-Worm.NetSky.G) "},
    {"F_Svchost", "Zone Labs Client Ex", "svchost.exe -antivirus service", "C:\\WINDOWS\\svchost.exe", true,
     " (I-Worm.NetSky.F) ", " (I-Worm.NetSky.F) ", "(I-Worm.NetSky.F) "},
};

class NetSkyVariant : public testing::TestWithParam<std::tuple<VariantCase, RegKey>> {};

TEST_P(NetSkyVariant, LosesItsValueProcessAndFileInItsOrder) {
    const auto& [c, root] = GetParam();
    CTestMachine t;
    const RegKey other = root == HKLM ? HKCU : HKLM;
    t.machine.PutString(root, kRunKeyPath, "Keep", "C:\\Program Files\\keep.exe");
    t.machine.PutString(root, kRunKeyPath, c.valueName, c.data);
    // The same name under the other root, where no NetSky value lives.
    t.machine.PutString(other, kRunKeyPath, c.valueName, "C:\\tools\\own.exe");
    t.drive.WriteFile(Relative(c.path), kPlainBody);
    t.drive.WriteFile("Program Files/keep.exe", kPlainBody);
    const std::uint32_t worm = t.machine.StartProcess(c.path);
    const std::uint32_t bystander = t.machine.StartProcess("C:\\Program Files\\keep.exe");

    t.dlg->CleanNetSky();

    std::vector<std::string> expected;
    if (c.processFirst) expected = {KillLine(c.killTag), kRunLine};
    else expected = {kRunLine, KillLine(c.killTag)};
    expected.push_back(DeletedLine(c.path, c.deletedTag));
    EXPECT_EQ(Lines(t), expected);

    EXPECT_FALSE(HasValue(t.machine, root, c.valueName));
    EXPECT_TRUE(HasValue(t.machine, root, "Keep"));
    // The kept table is applied only under a root where NetSky was found.
    EXPECT_TRUE(HasValue(t.machine, other, c.valueName));
    EXPECT_FALSE(Exists(t, c.path));
    EXPECT_FALSE(t.machine.IsRunning(worm));
    EXPECT_TRUE(t.machine.IsRunning(bystander));
    EXPECT_TRUE(t.machine.RestartDeletions().empty());
    for (const Finding& f : t.view.Findings()) EXPECT_TRUE(f.succeeded) << f.line;
}

INSTANTIATE_TEST_SUITE_P(Variants, NetSkyVariant,
                         testing::Combine(testing::ValuesIn(kVariantCases), testing::Values(HKLM, HKCU)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == HKLM ? "_HKLM" : "_HKCU");
                         });

class NetSkyStubborn : public testing::TestWithParam<std::uint32_t> {};

TEST_P(NetSkyStubborn, ProcessThatWillNotEndLeavesTheFileToTheRestart) {
    CTestMachine t(GetParam());
    const std::string path = "C:\\WINDOWS\\maja.exe";
    t.machine.PutString(HKLM, kRunKeyPath, "Antivirus", path + " -antivirus service");
    t.drive.WriteFile(Relative(path), kPlainBody);
    const std::uint32_t pid = t.machine.StartProcess(path, {true, true, false});

    t.dlg->CleanNetSky();

    EXPECT_TRUE(t.machine.IsRunning(pid));
    EXPECT_TRUE(Exists(t, path));
    if (GetParam() == NT) {
        // No kill line for a process that is still there.
        EXPECT_EQ(Lines(t), (std::vector<std::string>{kRunLine, RestartLine(path, "(I-Worm.NetSky.H) ")}));
        EXPECT_EQ(t.machine.RestartDeletions(), std::vector<std::string>{path});
    } else {
        // The 9x family cannot delete at restart: the file gets no line.
        EXPECT_EQ(Lines(t), std::vector<std::string>{kRunLine});
        EXPECT_TRUE(t.machine.RestartDeletions().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Families, NetSkyStubborn, testing::Values(NT, W9X),
                         [](const auto& info) { return FamilyName(info.param); });

// --- what is not NetSky ------------------------------------------------------------

struct NearMissCase {
    const char* name;
    const char* valueName;
    const char* data;
    const char* path;
};

void PrintTo(const NearMissCase& c, std::ostream* os) { *os << c.name; }

class NetSkyNearMiss : public testing::TestWithParam<NearMissCase> {};

TEST_P(NetSkyNearMiss, IsLeftAlone) {
    const NearMissCase& c = GetParam();
    CTestMachine t;
    t.machine.PutString(HKLM, kRunKeyPath, c.valueName, c.data);
    t.drive.WriteFile(Relative(c.path), kPlainBody);
    const std::uint32_t pid = t.machine.StartProcess(c.path);

    t.dlg->CleanNetSky();

    EXPECT_TRUE(Lines(t).empty());
    EXPECT_TRUE(HasValue(t.machine, HKLM, c.valueName));
    EXPECT_TRUE(Exists(t, c.path));
    EXPECT_TRUE(t.machine.IsRunning(pid));
}

const NearMissCase kNearMisses[] = {
    {"RightDataOtherName", "VisualGuard", "C:\\WINDOWS\\VisualGuard.exe", "C:\\WINDOWS\\VisualGuard.exe"},
    // The data is compared in exact case.
    {"DataInOtherCase", "NetDy", "C:\\WINDOWS\\visualguard.exe", "C:\\WINDOWS\\visualguard.exe"},
    {"ArgumentMissing", "ICQ Net", "C:\\WINDOWS\\winlogon.exe", "C:\\WINDOWS\\winlogon.exe"},
    // "AVprotect.exe" is no part of "AVprotect9x.exe".
    {"L_NameWithM_Data", "HtProtect", "C:\\WINDOWS\\AVprotect9x.exe", "C:\\WINDOWS\\AVprotect9x.exe"},
    {"NameWithAffix", "Tiny AV 2", "fooding.exe -antivirus service", "C:\\WINDOWS\\fooding.exe"},
};

INSTANTIATE_TEST_SUITE_P(Cases, NetSkyNearMiss, testing::ValuesIn(kNearMisses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NetSky, CleanMachineGetsNoLine) {
    for (const std::uint32_t platform : {NT, W9X}) {
        SCOPED_TRACE(FamilyName(platform));
        CTestMachine t(platform);
        t.machine.PutString(HKLM, kRunKeyPath, "Tool", "\"C:\\Program Files\\tool.exe\" /min");
        t.machine.PutString(HKCU, kRunKeyPath, "Helper", "helper.exe");
        t.drive.WriteFile("Program Files/tool.exe", kPlainBody);
        const std::string intact =
            platform == NT ? "%SystemRoot%\\System32\\webcheck.dll" : "C:\\WINDOWS\\SYSTEM\\webcheck.dll";
        t.machine.PutString(HKCR, kWebcheckKey, "", intact);

        t.dlg->CleanNetSky();

        EXPECT_TRUE(Lines(t).empty());
        EXPECT_TRUE(t.view.Findings().empty());
        EXPECT_TRUE(HasValue(t.machine, HKLM, "Tool"));
        EXPECT_TRUE(HasValue(t.machine, HKCU, "Helper"));
        EXPECT_EQ(WebcheckValue(t.machine), intact);
        EXPECT_EQ(t.dlg->m_virusFileNames.size(), 0u) << "NetSky registers no names";
    }
}

TEST(NetSky, SystemProgramsUnderVariantNamesAreNotTouched) {
    CTestMachine t;
    // The worm's own copy in the Windows directory and the system's logon
    // program, both running.
    const std::string wormPath = "C:\\WINDOWS\\winlogon.exe";
    const std::string systemLogon = "C:\\WINDOWS\\System32\\winlogon.exe";
    const std::string systemHost = "C:\\WINDOWS\\System32\\svchost.exe";
    t.drive.WriteFile(Relative(wormPath), kPlainBody);
    t.drive.WriteFile(Relative(systemLogon), kPlainBody);
    t.drive.WriteFile(Relative(systemHost), kPlainBody);
    const std::uint32_t worm = t.machine.StartProcess(wormPath);
    const std::uint32_t logon = t.machine.StartProcess(systemLogon);
    const std::uint32_t host = t.machine.StartProcess(systemHost);
    t.machine.PutString(HKLM, kRunKeyPath, "ICQ Net", wormPath + " -stealth");
    // Values of a variant's name and text that point at the system's own
    // programs: the values go, the programs stay.
    t.machine.PutString(HKCU, kRunKeyPath, "ICQ Net", "%system%\\winlogon.exe -stealth");
    t.machine.PutString(HKCU, kRunKeyPath, "Zone Labs Client Ex", "%system%\\svchost.exe -antivirus service");

    t.dlg->CleanNetSky();

    EXPECT_EQ(Lines(t), (std::vector<std::string>{KillLine(" (I-Worm.NetSky.K) "), kRunLine,
                                                  DeletedLine(wormPath, " (I-Worm.NetSky.K) "), kRunLine, kRunLine}));
    EXPECT_FALSE(t.machine.IsRunning(worm));
    EXPECT_FALSE(Exists(t, wormPath));
    EXPECT_TRUE(t.machine.IsRunning(logon));
    EXPECT_TRUE(t.machine.IsRunning(host));
    EXPECT_TRUE(Exists(t, systemLogon));
    EXPECT_TRUE(Exists(t, systemHost));
    EXPECT_FALSE(HasValue(t.machine, HKCU, "ICQ Net"));
    EXPECT_FALSE(HasValue(t.machine, HKCU, "Zone Labs Client Ex"));
    EXPECT_TRUE(t.machine.RestartDeletions().empty());
}

// --- bodies the classifier recognises ---------------------------------------------

TEST(NetSky, ClassifiedBodyIsTakenByTheClassifierAndItsValueGoes) {
    CTestMachine t;
    const std::string path = "C:\\WINDOWS\\services.exe";
    t.drive.WriteFile(Relative(path), NetSkyBody());
    t.machine.PutString(HKLM, kRunKeyPath, "Service", "services.exe -serv");
    t.machine.PutString(HKLM, kRunKeyPath, "Keep", "C:\\Program Files\\keep.exe");

    t.dlg->CleanNetSky();

    // The classifier's own line, then the value; the file is already gone,
    // so the cleaner's own deletion writes nothing.
    EXPECT_EQ(Lines(t), (std::vector<std::string>{DeletedLine(path, " (I-Worm.MooDown))"), kRunLine}));
    EXPECT_FALSE(HasValue(t.machine, HKLM, "Service"));
    EXPECT_TRUE(HasValue(t.machine, HKLM, "Keep"));
    EXPECT_FALSE(Exists(t, path));
}

TEST(NetSky, RunningClassifiedBodyIsStoppedAndDeletedNow) {
    CTestMachine t;
    const std::string path = "C:\\WINDOWS\\services.exe";
    t.drive.WriteFile(Relative(path), NetSkyBody());
    const std::uint32_t pid = t.machine.StartProcess(path);
    t.machine.PutString(HKCU, kRunKeyPath, "Service", "\"" + path + "\" -serv");

    t.dlg->CleanNetSky();

    // The running body defeats the classifier's deletion, which falls back
    // to the restart; the cleaner then stops it and deletes the file now.
    EXPECT_EQ(Lines(t), (std::vector<std::string>{T(IDS_VIRUS_FILE) + path + " (I-Worm.MooDown)" +
                                                      T(IDS_DELETED_AT_RESTART),
                                                  kRunLine, KillLine(" (I-Worm.NetSky)"),
                                                  DeletedLine(path, " (I-Worm.NetSky)")}));
    EXPECT_FALSE(t.machine.IsRunning(pid));
    EXPECT_FALSE(Exists(t, path));
    EXPECT_FALSE(HasValue(t.machine, HKCU, "Service"));
}

TEST(NetSky, BodyOfAnotherFamilyKeepsItsRunValue) {
    CTestMachine t;
    const std::string body = BodyOf(12);
    ASSERT_FALSE(body.empty());
    const std::string path = "C:\\WINDOWS\\other.exe";
    t.drive.WriteFile(Relative(path), body);
    t.machine.PutString(HKLM, kRunKeyPath, "Other", path);

    t.dlg->CleanNetSky();

    EXPECT_EQ(Lines(t), std::vector<std::string>{DeletedLine(path, " (I-Worm.MyDoom)")});
    EXPECT_TRUE(HasValue(t.machine, HKLM, "Other"));
}

// --- the kept restore table and the webcheck repair -------------------------------

TEST(NetSky, KeptTableReachesTheOtherRootOnceNetSkyIsFoundThere) {
    CTestMachine t;
    t.machine.PutString(HKLM, kRunKeyPath, "NetDy", "C:\\WINDOWS\\VisualGuard.exe");
    t.machine.PutString(HKCU, kRunKeyPath, "NETDY", "C:\\tools\\own.exe");
    t.machine.PutString(HKCU, kRunKeyPath, "Tiny AV", "fooding.exe -antivirus service");
    t.machine.PutString(HKCR, kWebcheckKey, "", kHijackedWebcheck);

    t.dlg->CleanNetSky();

    // Nothing runs and no file is there: the value lines only, HKCU's
    // "NETDY" going with "Tiny AV" as the table is applied to HKCU, then the
    // repaired webcheck server last.
    EXPECT_EQ(Lines(t), (std::vector<std::string>{kRunLine, kRunLine, kRunLine, "   " + T(IDS_REGISTRY_KEY_RESTORED)}));
    EXPECT_FALSE(HasValue(t.machine, HKLM, "NetDy"));
    EXPECT_FALSE(HasValue(t.machine, HKCU, "NETDY"));
    EXPECT_FALSE(HasValue(t.machine, HKCU, "Tiny AV"));
    EXPECT_EQ(WebcheckValue(t.machine), "%SystemRoot%\\System32\\webcheck.dll");
}

TEST(NetSky, WebcheckRepairOn9xUsesTheSystemDirectory) {
    CTestMachine t(W9X);
    t.machine.PutString(HKCR, kWebcheckKey, "", "C:\\WINDOWS\\SYSTEM\\shimgapi.dll");
    t.dlg->CleanNetSky();
    EXPECT_EQ(Lines(t), std::vector<std::string>{"   " + T(IDS_REGISTRY_KEY_RESTORED)});
    EXPECT_EQ(WebcheckValue(t.machine), "C:\\WINDOWS\\SYSTEM\\webcheck.dll");
}

// --- fault sweep --------------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {"OpenKey",          "EnumValue",     "QueryValue",    "DeleteValue",
                                              "SetValue",         "SetKeyDefault", "ProcessSnapshot", "OpenProcess",
                                              "TerminateProcess", "FirstModuleFileName", "GetAttributes",
                                              "SetAttributes",    "RemoveFile",    "RemoveAtRestart", "OpenForRead",
                                              "ReadAt",           "FileInfo",      "SystemDirectory"};

// Every kind of trace at once, run with one injected fault: each line must
// stand for a change the machine shows, and each change must have a line.
int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CTestMachine t(platform);
    const std::string body = NetSkyBody();
    t.machine.PutString(HKLM, kRunKeyPath, "NetDy", "C:\\WINDOWS\\VisualGuard.exe");
    t.machine.PutString(HKLM, kRunKeyPath, "Tiny AV", "fooding.exe -antivirus service");
    t.machine.PutString(HKLM, kRunKeyPath, "Keep", "C:\\Program Files\\keep.exe");
    t.machine.PutString(HKCU, kRunKeyPath, "Service", "services.exe");
    t.machine.PutString(HKCU, kRunKeyPath, "netdy", "C:\\tools\\own.exe");
    const std::vector<std::string> files = {"C:\\WINDOWS\\VisualGuard.exe", "C:\\WINDOWS\\fooding.exe",
                                            "C:\\WINDOWS\\services.exe", "C:\\Program Files\\keep.exe"};
    t.drive.WriteFile(Relative(files[0]), kPlainBody);
    t.drive.WriteFile(Relative(files[1]), kPlainBody);
    t.drive.WriteFile(Relative(files[2]), body);
    t.drive.WriteFile(Relative(files[3]), kPlainBody);
    for (const std::string& f : files) t.machine.StartProcess(f);
    t.machine.PutString(HKCR, kWebcheckKey, "", kHijackedWebcheck);

    const int fired = AuditedFaultRun(t.machine, t.view, fault, [&] { t.dlg->CleanNetSky(); });
    // What is no NetSky's stays whatever fails.
    EXPECT_TRUE(HasValue(t.machine, HKLM, "Keep"));
    EXPECT_TRUE(Exists(t, files[3]));
    return fired;
}

}  // namespace

class NetSkyFaultSweep : public testing::TestWithParam<std::uint32_t> {};

TEST_P(NetSkyFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED}, [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, NetSkyFaultSweep, testing::Values(NT, W9X),
                         [](const auto& info) { return FamilyName(info.param); });
