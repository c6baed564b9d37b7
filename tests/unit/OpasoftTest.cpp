// The Opasoft cleaner on the simulated machine: its fixed names and
// extensions, bodies found through the Run key and the names they leave,
// how the later stages attribute those names, and a fault sweep.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "sys/Text.h"

namespace {

namespace fs = std::filesystem;

const RegKey HKLM = winroot::kLocalMachine;
const RegKey HKCU = winroot::kCurrentUser;
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;
constexpr int kOpasoftCode = 5;
const char* const kPlainProgram = "MZ an ordinary program";
constexpr CSimMachine::ProcessOptions kStubborn = {true, true, false};

const std::vector<std::string> kFixedNames = {"spees1", "instit", "spees2",      "putas!", "speedbost", "lentao!",
                                              "merda!.aaa", "podre!!", "banda!", "speedm2.shi", "cronos"};

std::string T(std::uint32_t id) { return BuiltInString(id); }
std::string PlatformName(std::uint32_t platform) { return platform == NT ? "NT" : "Win9x"; }
std::string SysDir(std::uint32_t platform) { return platform == NT ? "C:\\WINDOWS\\System32" : "C:\\WINDOWS\\SYSTEM"; }

std::string KillLine() { return "   " + T(IDS_VIRUS_MODULE_STOPPED) + " (I-Worm.Opasoft)"; }
std::string DeletedLine(const std::string& path) { return T(IDS_VIRUS_FILE_DELETED) + path + " (Worm.Opasoft)"; }
std::string ClassifierLine(const std::string& path) {
    return T(IDS_VIRUS_FILE_DELETED) + path + " (Worm.Win32.Opasoft)";
}
std::string ClassifierRestartLine(const std::string& path) {
    return T(IDS_VIRUS_FILE) + path + " (Worm.Win32.Opasoft)" + T(IDS_DELETED_AT_RESTART);
}

struct COpasoftMachine {
    explicit COpasoftMachine(std::uint32_t platform) : t(platform) {
        m_namesBefore = t.dlg->m_virusFileNames.size();
        m_familiesBefore = t.dlg->m_familyNames.size();
    }

    std::string Put(const std::string& winPath, const std::string& bytes) { return ::Put(t, winPath, bytes); }
    bool Exists(const std::string& winPath) const { return ::Exists(t, winPath); }
    std::vector<std::string> Lines() const { return ::Lines(t); }
    // What the run registered: names, and the family entries with counts.
    std::vector<std::string> NewNames() const {
        const auto& names = t.dlg->m_virusFileNames;
        return std::vector<std::string>(names.begin() + static_cast<std::ptrdiff_t>(m_namesBefore), names.end());
    }
    std::vector<std::pair<std::string, int>> NewFamilies() const {
        std::vector<std::pair<std::string, int>> families;
        for (std::size_t k = m_familiesBefore; k < t.dlg->m_familyNames.size(); ++k) {
            families.emplace_back(t.dlg->m_familyNames[k], t.dlg->m_familyNameCount[k]);
        }
        return families;
    }

    CTestMachine t;

private:
    std::size_t m_namesBefore = 0;
    std::size_t m_familiesBefore = 0;
};

std::vector<std::string> FixedNamesAnd(std::vector<std::string> found) {
    std::vector<std::string> names = kFixedNames;
    names.insert(names.end(), found.begin(), found.end());
    return names;
}

class OpasoftOnPlatform : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(OpasoftOnPlatform, RunBodiesAreStoppedDeletedAndRegistered) {
    const std::uint32_t platform = GetParam();
    COpasoftMachine m(platform);
    const std::string running = m.Put("C:\\WINDOWS\\Brasil.exe", BodyOf(kOpasoftCode));
    const std::string idle = m.Put(SysDir(platform) + "\\ScrSvr.scr", BodyOf(kOpasoftCode));
    const std::string program = m.Put("C:\\Program Files\\Tool\\tool.exe", kPlainProgram);
    const std::uint32_t wormPid = m.t.machine.StartProcess(running);
    const std::uint32_t programPid = m.t.machine.StartProcess(program);
    m.t.machine.PutString(HKLM, kRunKeyPath, "Tool", program);
    m.t.machine.PutString(HKLM, kRunKeyPath, "Brasil", "\"" + running + "\" /s");
    m.t.machine.PutString(HKCU, kRunKeyPath, "Scr", idle + " -x");
    const std::vector<std::string> extensionsBefore = m.t.dlg->m_walker.Extensions();

    m.t.dlg->CleanOpasoft();

    // The running body defeats the classifier's deletion (NT schedules it,
    // the 9x family cannot); the cleaner stops it and deletes it now. The
    // idle one the classifier takes with its own line.
    std::vector<std::string> expected;
    if (platform == NT) expected.push_back(ClassifierRestartLine(running));
    expected.insert(expected.end(), {KillLine(), DeletedLine(running), ClassifierLine(idle)});
    EXPECT_EQ(m.Lines(), expected);
    EXPECT_FALSE(m.Exists(running));
    EXPECT_FALSE(m.Exists(idle));
    EXPECT_FALSE(m.t.machine.IsRunning(wormPid));
    EXPECT_TRUE(m.t.machine.IsRunning(programPid));
    EXPECT_TRUE(m.Exists(program));

    // The fixed names, then the found files' names in lower case under a
    // second entry of the family.
    EXPECT_EQ(m.NewNames(), FixedNamesAnd({"brasil.exe", "scrsvr.scr"}));
    EXPECT_EQ(m.NewFamilies(),
              (std::vector<std::pair<std::string, int>>{{"Worm.Opasoft", 11}, {"Worm.Opasoft", 2}}));
    std::vector<std::string> extensions = extensionsBefore;
    for (const char* e : {".bat", ".scr", ".com", ".aaa", ".shi"}) {
        if (std::none_of(extensions.begin(), extensions.end(), [&](const std::string& x) { return EqualsNoCase(x, e); }))
            extensions.push_back(e);
    }
    EXPECT_EQ(m.t.dlg->m_walker.Extensions(), extensions);
}

TEST_P(OpasoftOnPlatform, BodyThatWillNotStopStaysButItsNameIsRegistered) {
    const std::uint32_t platform = GetParam();
    COpasoftMachine m(platform);
    const std::string path = m.Put("C:\\WINDOWS\\Brasil.exe", BodyOf(kOpasoftCode));
    const std::uint32_t pid = m.t.machine.StartProcess(path, kStubborn);
    m.t.machine.PutString(HKLM, kRunKeyPath, "Brasil", path);

    m.t.dlg->CleanOpasoft();

    // No restart fallback of the cleaner's own: only the classifier's
    // scheduling, where the system has one.
    std::vector<std::string> expected;
    if (platform == NT) expected.push_back(ClassifierRestartLine(path));
    EXPECT_EQ(m.Lines(), expected);
    EXPECT_TRUE(m.Exists(path));
    EXPECT_TRUE(m.t.machine.IsRunning(pid));
    EXPECT_EQ(m.NewNames(), FixedNamesAnd({"brasil.exe"}));
}

TEST_P(OpasoftOnPlatform, CleanMachineGetsNoLineAndOnlyTheFixedNames) {
    COpasoftMachine m(GetParam());
    const std::string program = m.Put("C:\\Program Files\\Tool\\tool.exe", kPlainProgram);
    const std::uint32_t pid = m.t.machine.StartProcess(program);
    m.t.machine.PutString(HKLM, kRunKeyPath, "Tool", "\"" + program + "\" /tray");
    m.t.machine.PutString(HKCU, kRunKeyPath, "Gone", "C:\\nowhere\\gone.exe");

    m.t.dlg->CleanOpasoft();

    EXPECT_TRUE(m.Lines().empty());
    EXPECT_TRUE(m.t.view.Findings().empty());
    EXPECT_TRUE(m.t.machine.IsRunning(pid));
    EXPECT_EQ(m.NewNames(), kFixedNames);
    EXPECT_EQ(m.NewFamilies(), (std::vector<std::pair<std::string, int>>{{"Worm.Opasoft", 11}}));
}

INSTANTIATE_TEST_SUITE_P(Families, OpasoftOnPlatform, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return PlatformName(info.param); });

// --- which Run data leads to the body ---------------------------------------------

namespace {

struct OpasoftRunCase {
    const char* name;
    const char* file;  // where the body lies
    const char* data;  // the Run value
    const char* registered;  // the name found, or nullptr when none
};

void PrintTo(const OpasoftRunCase& c, std::ostream* os) { *os << c.name; }

const OpasoftRunCase kRunCases[] = {
    {"QuotedWithSwitch", "C:\\Program Files\\Speed\\SpeedM.exe", "\"C:\\Program Files\\Speed\\SpeedM.exe\" -a",
     "speedm.exe"},
    {"PlainWithArguments", "C:\\WINDOWS\\Update.com", "C:\\WINDOWS\\Update.com /q /r", "update.com"},
    // A bare name is opened where the program runs, never in the Windows
    // or the system directory.
    {"BareNameNotInWindowsDir", "C:\\WINDOWS\\brasil.exe", "brasil.exe", nullptr},
    {"BareNameNotInSystemDir", "C:\\WINDOWS\\System32\\brasil.exe", "brasil.exe", nullptr},
    // No placeholder expansion: the text stays relative.
    {"PlaceholderNotExpanded", "C:\\WINDOWS\\brasil.exe", "%systemroot%\\brasil.exe", nullptr},
};

class OpasoftRunValue : public testing::TestWithParam<OpasoftRunCase> {};

}  // namespace

TEST_P(OpasoftRunValue, LeadsToTheBodyOrNot) {
    const OpasoftRunCase& c = GetParam();
    COpasoftMachine m(NT);
    m.Put(c.file, BodyOf(kOpasoftCode));
    m.t.machine.PutString(HKLM, kRunKeyPath, "Worm", c.data);

    m.t.dlg->CleanOpasoft();

    EXPECT_EQ(m.Exists(c.file), c.registered == nullptr);
    if (c.registered) {
        EXPECT_EQ(m.Lines(), std::vector<std::string>{ClassifierLine(c.file)});
        EXPECT_EQ(m.NewNames(), FixedNamesAnd({c.registered}));
    } else {
        EXPECT_TRUE(m.Lines().empty());
        EXPECT_EQ(m.NewNames(), kFixedNames);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OpasoftRunValue, testing::ValuesIn(kRunCases),
                         [](const testing::TestParamInfo<OpasoftRunCase>& info) { return info.param.name; });

// --- the later stages --------------------------------------------------------------

TEST(OpasoftNames, LaterStagesNameTheFamilyForFixedAndFoundNames) {
    COpasoftMachine m(NT);
    const std::string body = m.Put("C:\\WINDOWS\\Brasil.exe", BodyOf(kOpasoftCode));
    m.t.machine.PutString(HKLM, kRunKeyPath, "Brasil", body);
    // A copy under the found name that no rule knows, and a dropped
    // script started by a fixed name.
    const std::string copy = m.Put("C:\\Temp\\brasil.exe", kPlainProgram);
    const std::uint32_t copyPid = m.t.machine.StartProcess(copy);
    m.t.machine.PutString(HKCU, kRunKeyPath, "Speed", "C:\\WINDOWS\\cronos.bat");

    m.t.dlg->CleanOpasoft();
    m.t.view.ResetLog();
    m.t.dlg->CheckRunEntries(m.t.dlg->m_virusFileNames);
    m.t.dlg->KillRegisteredProcesses();

    // The worm's own Run value goes by the found name, the script's by the
    // fixed one, each line naming the file the value really started.
    EXPECT_EQ(m.t.view.Log(),
              (std::vector<std::string>{T(IDS_VIRUS_FILE) + "Worm.Opasoft: brasil.exe" + T(10),
                                        T(IDS_VIRUS_FILE) + "Worm.Opasoft: cronos.bat" + T(10),
                                        T(IDS_VIRUS_FILE) + "Worm.Opasoft: brasil.exe" + T(IDS_REMOVED_FROM_MEMORY)}));
    EXPECT_FALSE(m.t.machine.IsRunning(copyPid));
}

// --- fault sweep -------------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {
    "OpenKey",     "EnumValue", "QueryValue",    "ProcessSnapshot", "OpenProcess", "TerminateProcess", "FirstModuleFileName",
    "OpenForRead", "ReadAt",    "FileInfo",      "GetAttributes",   "SetAttributes", "RemoveFile",     "RemoveAtRestart"};

int RunWithFault(std::uint32_t platform, const SFault& fault) {
    COpasoftMachine m(platform);
    const std::string running = m.Put("C:\\WINDOWS\\Brasil.exe", BodyOf(kOpasoftCode));
    const std::string idle = m.Put(SysDir(platform) + "\\ScrSvr.scr", BodyOf(kOpasoftCode));
    const std::string program = m.Put("C:\\Program Files\\Tool\\tool.exe", kPlainProgram);
    m.t.machine.StartProcess(running);
    m.t.machine.StartProcess(program);
    m.t.machine.PutString(HKLM, kRunKeyPath, "Brasil", "\"" + running + "\" /s");
    m.t.machine.PutString(HKLM, kRunKeyPath, "Tool", program);
    m.t.machine.PutString(HKCU, kRunKeyPath, "Scr", idle);

    const int fired = AuditedFaultRun(m.t.machine, m.t.view, fault, [&] { m.t.dlg->CleanOpasoft(); });
    EXPECT_TRUE(m.Exists(program));
    // A name is registered for every body the classifier recognised, and
    // each registration is covered by its count.
    int counted = 0;
    for (const auto& [family, count] : m.NewFamilies()) {
        EXPECT_EQ(family, "Worm.Opasoft");
        counted += count;
    }
    EXPECT_EQ(static_cast<std::size_t>(counted), m.NewNames().size());
    return fired;
}

class OpasoftFaultSweep : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(OpasoftFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED}, [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, OpasoftFaultSweep, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return PlatformName(info.param); });
