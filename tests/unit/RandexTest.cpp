// The Randex cleaner on the simulated machine. The built-in rule table has
// no Randex window, so the tests hand the classifier a table with a stand-in
// window for it: bodies behind the Run keys (and on 9x the RunServices
// keys) of both roots, the registered names stopped, the names of copies
// found, the logon "run" line, and that no line claims a step that failed.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "FamilyBench.h"
#include "MachineAudit.h"
#include "cleaners/CleanerPattern.h"
#include "scan/RuleTable.h"

using namespace bench;

namespace {

constexpr int kRandexCode = 9;
constexpr std::uint32_t kStandInOffset = 700;
constexpr std::uint8_t kStandInWindow[16] = {'r', 'a', 'n', 'd', 'e', 'x', '-', 's',
                                             't', 'a', 'n', 'd', '-', 'i', 'n', 0x01};

const char* const kRunServicesKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char* const kLogonKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Windows";

const std::vector<std::string> kRandexNames = {
    "metalrock-is-gay.exe", "musirc4.71.exe", "spoolsrv.exe", "ph32.exe",     "netfd32.exe",  "winnt32.dat",
    "winlogonn.exe",        "netd32.exe",     "nstask32.exe", "winlogin.exe", "win32sockdrv.dll",
    "yuetyutr.dll",         "msmsgri32.exe",  "payload.dat",  "msmonk32.exe", "gesfm32.exe",  "msslut32.exe",
    "ns32.exe",             "hxedofos.exe",   "cnqmax.exe",   "amqj.exe",     "gfac.exe"};

std::string RandexBody() {
    std::string body = "MZ";
    body.resize(kStandInOffset, '\0');
    body.append(reinterpret_cast<const char*>(kStandInWindow), sizeof kStandInWindow);
    return body + "rest of the worm";
}

// The built-in table with the stand-in in its place among the families, so
// that every other family is still known as the product knows it.
std::vector<SignatureRule> TableWithRandex() {
    return RulesWithStandIns({{kRandexCode, kStandInOffset, sizeof kStandInWindow, kStandInWindow}});
}

// The bench with the classifier knowing Randex.
struct CRandexBench : CFamilyBench {
    explicit CRandexBench(std::uint32_t platform = NT) : CFamilyBench(platform) { t.dlg->UseRuleTable(TableWithRandex()); }
};

std::string ClassifiedLine(const std::string& path) { return T(IDS_VIRUS_FILE_DELETED) + path + " (Worm.Randex)"; }
std::string ScheduledLine(const std::string& path) {
    return T(IDS_VIRUS_FILE) + path + " (Worm.Randex)" + T(IDS_DELETED_AT_RESTART);
}
std::string LogonLine() { return "   " + T(IDS_REGISTRY_KEY_RESTORED) + "(Worm.Randex)"; }

class RandexOnPlatform : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(RandexOnPlatform, BodiesBehindTheAutostartKeysAreRemovedAndTheirNamesRegistered) {
    const bool nt = GetParam() == NT;
    CRandexBench b(GetParam());
    const std::string quoted = b.Put("C:\\WINDOWS\\System32\\MsUpd32.exe", RandexBody());
    const std::string service = b.Put("C:\\WINDOWS\\System32\\SrvHost.EXE", RandexBody());
    const std::string userService = b.Put("C:\\WINDOWS\\nets.exe", RandexBody());
    const std::string helper = b.Put("C:\\Program Files\\helper.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Svc", "\"" + quoted + "\" -start");
    b.t.machine.PutString(HKCU, kRunKeyPath, "Helper", helper);
    b.t.machine.PutString(HKLM, kRunServicesKey, "Svc2", service + " /x");
    b.t.machine.PutString(HKCU, kRunServicesKey, "Net", userService);
    // Only the NT family has the logon key.
    if (nt) b.t.machine.PutString(HKLM, kLogonKey, "run", "C:\\WINDOWS\\System32\\msmonk32.exe");
    const std::uint32_t spooler = b.t.machine.StartProcess("C:\\WINDOWS\\System32\\spoolsrv.exe");
    const std::uint32_t bystander = b.t.machine.StartProcess(helper);
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = b.t.dlg->m_familyNames.size();

    EXPECT_TRUE(b.t.dlg->CleanRandex());

    // The classifier's line for the body, then the registered processes
    // stopped; the cleaner's own deletion finds the file gone.
    std::vector<std::string> expected = {ClassifiedLine(quoted), KillRegisteredLine("Worm.Randex", "spoolsrv.exe")};
    std::vector<std::string> names = kRandexNames;
    names.push_back("msupd32.exe");
    if (nt) {
        expected.push_back(LogonLine());
    } else {
        expected.push_back(ClassifiedLine(service));
        expected.push_back(ClassifiedLine(userService));
        names.push_back("srvhost.exe");
        names.push_back("nets.exe");
    }
    EXPECT_EQ(b.Log(), expected);

    EXPECT_FALSE(b.Exists(quoted));
    EXPECT_EQ(b.Exists(service), nt) << "RunServices is looked at on 9x only";
    EXPECT_EQ(b.Exists(userService), nt);
    EXPECT_TRUE(b.Exists(helper));
    EXPECT_FALSE(b.t.machine.IsRunning(spooler));
    EXPECT_TRUE(b.t.machine.IsRunning(bystander));
    // The autostart values are the autostart check's business.
    EXPECT_NE(b.Value(HKLM, kRunKeyPath, "Svc"), "<missing>");
    EXPECT_NE(b.Value(HKLM, kRunServicesKey, "Svc2"), "<missing>");
    if (nt) {
        EXPECT_EQ(b.Value(HKLM, kLogonKey, "run"), "explorer.exe");
    }

    // The fixed names under one count, each copy found under its own.
    EXPECT_EQ(b.NamesFrom(namesBefore), names);
    const auto& families = b.t.dlg->m_familyNames;
    ASSERT_EQ(families.size(), familiesBefore + names.size() - kRandexNames.size() + 1);
    EXPECT_EQ(b.t.dlg->m_familyNameCount[familiesBefore], 22);
    for (std::size_t k = familiesBefore; k < families.size(); ++k) {
        EXPECT_EQ(families[k], "Worm.Randex");
        if (k > familiesBefore) {
            EXPECT_EQ(b.t.dlg->m_familyNameCount[k], 1);
        }
    }
    for (const char* e : {".exe", ".dat", ".dll"}) EXPECT_TRUE(b.HasExtension(e)) << e;
    EXPECT_TRUE(b.t.machine.RestartDeletions().empty());
}

TEST_P(RandexOnPlatform, RunningBodyIsStoppedUnderItsNameAndDeletedNow) {
    CRandexBench b(GetParam());
    const std::string path = b.Put("C:\\WINDOWS\\System32\\msmonk32.exe", RandexBody());
    const std::uint32_t pid = b.t.machine.StartProcess(path);
    b.t.machine.PutString(HKCU, kRunKeyPath, "Monk", path);
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();

    b.t.dlg->CleanRandex();

    // The running body defeats the classifier's deletion: NT leaves it for
    // the restart, 9x cannot. Stopped under its registered name, it then goes.
    std::vector<std::string> expected;
    if (GetParam() == NT) expected.push_back(ScheduledLine(path));
    expected.push_back(KillRegisteredLine("Worm.Randex", "msmonk32.exe"));
    expected.push_back(T(IDS_VIRUS_FILE_DELETED) + path + " (Worm.Randex)");
    EXPECT_EQ(b.Log(), expected);
    EXPECT_FALSE(b.t.machine.IsRunning(pid));
    EXPECT_FALSE(b.Exists(path));
    // A fixed name is not registered a second time for the copy.
    EXPECT_EQ(b.NamesFrom(namesBefore), kRandexNames);
}

TEST_P(RandexOnPlatform, CleanMachineGetsNoLine) {
    const bool nt = GetParam() == NT;
    CRandexBench b(GetParam());
    const std::string tool = b.Put("C:\\Program Files\\tool.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", "\"" + tool + "\" /min");
    b.t.machine.PutString(HKCU, kRunServicesKey, "Tool", tool);
    if (nt) b.t.machine.PutString(HKLM, kLogonKey, "run", "Explorer.exe");
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();

    b.t.dlg->CleanRandex();

    EXPECT_TRUE(b.Log().empty());
    EXPECT_TRUE(b.Findings().empty());
    EXPECT_TRUE(b.Exists(tool));
    if (nt) {
        EXPECT_EQ(b.Value(HKLM, kLogonKey, "run"), "Explorer.exe");
    }
    EXPECT_EQ(b.NamesFrom(namesBefore), kRandexNames);
}

INSTANTIATE_TEST_SUITE_P(Families, RandexOnPlatform, testing::Values(NT, W9X),
                         [](const auto& info) { return PlatformName(info.param); });

// --- which autostart data leads to a body -----------------------------------------

namespace {

struct PathCase {
    const char* name;
    const char* file;
    const char* data;
    const char* registered;  // null: not found
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class RandexPath : public testing::TestWithParam<PathCase> {};

const PathCase kPathCases[] = {
    {"QuotedWithOptions", "C:\\WINDOWS\\System32\\a b.exe", "\"C:\\WINDOWS\\System32\\a b.exe\" -o x", "a b.exe"},
    {"PlainWithSwitch", "C:\\WINDOWS\\Temp\\Upd.EXE", "C:\\WINDOWS\\Temp\\Upd.EXE /silent", "upd.exe"},
    // No directory is put before a bare name, and no placeholder is expanded.
    {"BareName", "C:\\WINDOWS\\System32\\nsx.exe", "nsx.exe", nullptr},
    {"Placeholder", "C:\\WINDOWS\\System32\\nsx.exe", "%system%\\nsx.exe", nullptr},
};

}  // namespace

TEST_P(RandexPath, LeadsToTheBodyOrNot) {
    const PathCase& c = GetParam();
    CRandexBench b;
    b.Put(c.file, RandexBody());
    b.t.machine.PutString(HKLM, kRunKeyPath, "Worm", c.data);
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();

    b.t.dlg->CleanRandex();

    std::vector<std::string> names = kRandexNames;
    if (c.registered) {
        names.push_back(c.registered);
        EXPECT_EQ(b.Log(), std::vector<std::string>{ClassifiedLine(c.file)});
    } else {
        EXPECT_TRUE(b.Log().empty());
    }
    EXPECT_EQ(b.Exists(c.file), c.registered == nullptr);
    EXPECT_EQ(b.NamesFrom(namesBefore), names);
}

INSTANTIATE_TEST_SUITE_P(Cases, RandexPath, testing::ValuesIn(kPathCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Randex, BodyOfAnotherFamilyIsLeftToTheClassifier) {
    CRandexBench b;
    const std::string path = b.Put("C:\\WINDOWS\\System32\\door.exe", BodyOf(2));
    b.t.machine.PutString(HKLM, kRunKeyPath, "Door", path);
    b.t.machine.StartProcess("C:\\WINDOWS\\System32\\spoolsrv.exe");
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();

    b.t.dlg->CleanRandex();

    EXPECT_EQ(b.Log(), std::vector<std::string>{T(IDS_VIRUS_FILE_DELETED) + path + " (Backdoor:Apdoor)"});
    EXPECT_EQ(b.NamesFrom(namesBefore), kRandexNames);
}

// --- the names, as the later stages report them --------------------------------

TEST(Randex, NameOfACopyFoundKeepsTheFamiliesOfLaterNamesInPlace) {
    CRandexBench b;
    b.t.dlg->CleanMyDoom();
    b.Put("C:\\WINDOWS\\System32\\Qzx.exe", RandexBody());
    b.t.machine.PutString(HKLM, kRunKeyPath, "Svc", "C:\\WINDOWS\\System32\\Qzx.exe");
    b.t.dlg->CleanRandex();
    // The next family registers right behind the copy's name.
    b.t.dlg->CleanVesser();
    const std::uint32_t copy = b.t.machine.StartProcess("D:\\QZX.EXE");
    const std::uint32_t exploit = b.t.machine.StartProcess("D:\\dllhost16.exe");
    const std::uint32_t shared = b.t.machine.StartProcess("D:\\winlogin.exe");
    b.ClearLog();

    b.t.dlg->CheckRunEntries(b.t.dlg->m_virusFileNames);
    b.t.dlg->KillRegisteredProcesses();

    EXPECT_EQ(b.Log(), (std::vector<std::string>{RunEntryLine("Worm.Randex", "qzx.exe"),
                                                 KillRegisteredLine("Worm.Randex", "qzx.exe"),
                                                 KillRegisteredLine("Exploit: RPCDCom", "dllhost16.exe"),
                                                 // Both families know this name.
                                                 KillRegisteredLine("Worm.Randex", "winlogin.exe"),
                                                 KillRegisteredLine("Exploit: RPCDCom", "winlogin.exe")}));
    EXPECT_FALSE(b.t.machine.IsRunning(copy));
    EXPECT_FALSE(b.t.machine.IsRunning(exploit));
    EXPECT_FALSE(b.t.machine.IsRunning(shared));
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Svc"), "<missing>");
}

// --- fault sweep --------------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {
    "OpenKey",         "CloseKey",    "EnumValue",        "QueryValue",          "SetValue",     "SetKeyDefault",
    "ProcessSnapshot", "OpenProcess", "TerminateProcess", "FirstModuleFileName", "OpenForRead",  "ReadAt",
    "FileInfo",        "GetAttributes", "SetAttributes",  "RemoveFile",          "RemoveAtRestart"};

int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CRandexBench b(platform);
    const std::string body = b.Put("C:\\WINDOWS\\System32\\msupd.exe", RandexBody());
    const std::string running = b.Put("C:\\WINDOWS\\System32\\ns32.exe", RandexBody());
    const std::string service = b.Put("C:\\WINDOWS\\svc.exe", RandexBody());
    const std::string tool = b.Put("C:\\Program Files\\tool.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Upd", body + " -q");
    b.t.machine.PutString(HKCU, kRunKeyPath, "Ns", running);
    b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", tool);
    b.t.machine.PutString(HKCU, kRunServicesKey, "Svc", service);
    b.t.machine.PutString(HKLM, kLogonKey, "run", "C:\\WINDOWS\\System32\\ns32.exe");
    b.t.machine.StartProcess(running);
    b.t.machine.StartProcess("C:\\WINDOWS\\System32\\spoolsrv.exe");
    b.t.machine.StartProcess(tool);

    const int fired = AuditedFaultRun(b.t.machine, b.t.view, fault, [&] { b.t.dlg->CleanRandex(); });
    EXPECT_TRUE(b.Exists(tool));
    EXPECT_NE(b.Value(HKLM, kRunKeyPath, "Tool"), "<missing>");
    return fired;
}

class RandexFaultSweep : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(RandexFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED}, [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, RandexFaultSweep, testing::Values(NT, W9X),
                         [](const auto& info) { return PlatformName(info.param); });
