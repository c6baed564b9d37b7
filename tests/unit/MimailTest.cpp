// The two Mimail cleaners on the simulated machine. The product's rule table
// has no Mimail window, so the tests hand the classifier one of their own
// to reach the steps a Mimail verdict starts: the body followed from its Run
// value, stopped and deleted, its name registered for the later stages.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"

namespace {

const RegKey HKLM = winroot::kLocalMachine;
const RegKey HKCU = winroot::kCurrentUser;
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;
constexpr std::uint32_t kIdsRemovedFromRegistry = 10;
constexpr CSimMachine::ProcessOptions kStubborn = {true, true, false};

// Stand-in windows for the handed rule table, at one offset.
constexpr std::uint32_t kWindowOffset = 700;
constexpr std::uint8_t kMimailWindow[16] = {'m', 'i', 'm', 'a', 'i', 'l', '-', 's',
                                            't', 'a', 'n', 'd', 0x01, 0x02, 0x03, 0x04};
constexpr std::uint8_t kSpyBotWindow[16] = {'s', 'p', 'y', 'b', 'o', 't', '-', 's',
                                            't', 'a', 'n', 'd', 0x05, 0x06, 0x07, 0x08};

std::string Body(const std::uint8_t* window) {
    std::string body(kWindowOffset, '\0');
    body.append(reinterpret_cast<const char*>(window), 16);
    return body;
}
std::string MimailBody() { return Body(kMimailWindow); }
const char* const kPlain = "MZ an ordinary program";

std::string T(std::uint32_t id) { return BuiltInString(id); }
std::string FamilyName(std::uint32_t platform) { return platform == NT ? "NT" : "Win9x"; }
std::string PlatformRowName(const testing::TestParamInfo<std::uint32_t>& info) { return FamilyName(info.param); }

std::string KillLine() { return "   " + T(IDS_VIRUS_MODULE_STOPPED) + " (I-Worm.Mimail)"; }
std::string DeletedLine(const std::string& path) { return T(IDS_VIRUS_FILE_DELETED) + path + " (Worm.Mimail)"; }
std::string ScheduledLine(const std::string& path) {
    return T(IDS_VIRUS_FILE) + path + " (Worm.Mimail)" + T(IDS_DELETED_AT_RESTART);
}

const std::vector<std::string> kFixedNames = {"netwatch32", "zip.tmp", "exe.tmp", "eml.tmp"};

// The dialog with the handed rule table, its start-up lines cleared.
class CMimailBench {
public:
    explicit CMimailBench(std::uint32_t platform) : t(platform) {
        t.dlg->UseRuleTable({{6, kWindowOffset, 16, kMimailWindow}, {3, kWindowOffset, 16, kSpyBotWindow}});
        t.view.ResetLog();
    }
    std::string Put(const std::string& winPath, const std::string& content) {
        std::string relative = winPath.substr(3);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        t.drive.WriteFile(relative, content);
        return winPath;
    }
    bool Exists(const std::string& winPath) { return t.machine.GetAttributes(winPath) != kInvalidAttributes; }
    bool HasRunValue(RegKey root, const std::string& name) const {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        return t.machine.GetValue(root, kRunKeyPath, name, type, data);
    }
    std::vector<std::string> Families() const { return t.dlg->m_familyNames; }
    std::vector<int> Counts() const {
        return std::vector<int>(t.dlg->m_familyNameCount.begin(),
                                t.dlg->m_familyNameCount.begin() + static_cast<std::ptrdiff_t>(Families().size()));
    }

    CTestMachine t;
};

class MimailOnPlatform : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST(RegisterMimail, RegistersFiveNamesAndTwoExtensionsAndTouchesNothing) {
    CMimailBench b(NT);
    const std::string body = b.Put("C:\\WINDOWS\\videodrv.exe", MimailBody());
    const std::uint32_t pid = b.t.machine.StartProcess(body);
    b.t.machine.PutString(HKLM, kRunKeyPath, "VideoDriver", body);
    const SMachineState before = CaptureMachine(b.t.machine);

    b.t.dlg->RegisterMimail();

    EXPECT_TRUE(b.t.view.Log().empty());
    AuditRun(before, CaptureMachine(b.t.machine), b.t.view.AllFindings());
    EXPECT_TRUE(b.t.machine.IsRunning(pid));
    EXPECT_EQ(b.t.dlg->m_virusFileNames,
              (std::vector<std::string>{"videodrv.exe", "foo.exe", "exe.tmp", "eml.tmp", "zip.tmp"}));
    EXPECT_EQ(b.Families(), std::vector<std::string>{"Mimail"});
    EXPECT_EQ(b.Counts(), std::vector<int>{5});
    EXPECT_EQ(b.t.dlg->m_walker.Extensions(), (std::vector<std::string>{".exe", ".tmp"}));
}

// The names both cleaners register are stopped once for each registration,
// each line naming its own family. On 9x the process list keeps the file's
// real extension, so a running "zip.tmp" is found by its name.
TEST(RegisterMimail, NameRegisteredByBothCleanersIsReportedForEach) {
    CMimailBench b(W9X);
    const std::uint32_t pid = b.t.machine.StartProcess(b.Put("C:\\WINDOWS\\zip.tmp", kPlain));
    b.t.dlg->RegisterMimail();
    b.t.dlg->CleanMimail();
    b.t.view.ResetLog();

    b.t.dlg->KillRegisteredProcesses();

    EXPECT_EQ(b.t.view.Log(), (std::vector<std::string>{
                                  T(IDS_VIRUS_FILE) + "Mimail: zip.tmp" + T(IDS_REMOVED_FROM_MEMORY),
                                  T(IDS_VIRUS_FILE) + "I-Worm.Mimail: zip.tmp" + T(IDS_REMOVED_FROM_MEMORY)}));
    EXPECT_FALSE(b.t.machine.IsRunning(pid));
}

TEST_P(MimailOnPlatform, BodiesFoundThroughRunValuesAreStoppedDeletedAndRegistered) {
    CMimailBench b(GetParam());
    const std::string running = b.Put("C:\\WINDOWS\\VideoDrv.exe", MimailBody());
    const std::string relative = b.Put("C:\\WINDOWS\\mail.exe", MimailBody());
    // The relative command names a subdirectory; only the Windows directory
    // itself is looked in, so this copy is left to the disk walk.
    const std::string inSubdir = b.Put("C:\\WINDOWS\\Sub\\Mail.EXE", MimailBody());
    const std::string keep = b.Put("C:\\Program Files\\keep.exe", kPlain);
    b.Put("C:\\WINDOWS\\notepad.exe", kPlain);
    const std::uint32_t wormPid = b.t.machine.StartProcess(running);
    const std::uint32_t keepPid = b.t.machine.StartProcess(keep);
    b.t.machine.PutString(HKLM, kRunKeyPath, "Keep", keep);
    b.t.machine.PutString(HKLM, kRunKeyPath, "VideoDriver", "\"" + running + "\" -start");
    b.t.machine.PutString(HKCU, kRunKeyPath, "Mailer", "Sub\\Mail.EXE /x");
    b.t.machine.PutString(HKCU, kRunKeyPath, "Notes", "notepad.exe");

    b.t.dlg->CleanMimail();

    // The running body defeats the classifier's deletion, which falls back
    // to the restart on NT; stopped, it is deleted now. The other one the
    // classifier deletes itself, so the cleaner's deletion finds it gone.
    std::vector<std::string> expected;
    if (GetParam() == NT) expected.push_back(ScheduledLine(running));
    expected.insert(expected.end(), {KillLine(), DeletedLine(running), DeletedLine(relative)});
    EXPECT_EQ(b.t.view.Log(), expected);

    EXPECT_FALSE(b.t.machine.IsRunning(wormPid));
    EXPECT_TRUE(b.t.machine.IsRunning(keepPid));
    EXPECT_FALSE(b.Exists(running));
    EXPECT_FALSE(b.Exists(relative));
    EXPECT_TRUE(b.Exists(inSubdir));
    EXPECT_TRUE(b.Exists(keep));
    for (const auto& [root, name] : {std::pair{HKLM, "Keep"}, std::pair{HKLM, "VideoDriver"},
                                     std::pair{HKCU, "Mailer"}, std::pair{HKCU, "Notes"}}) {
        EXPECT_TRUE(b.HasRunValue(root, name)) << name << ": the Run values are left to the autostart check";
    }

    // The file names, in lower case, follow the fixed names under the
    // family's name once more.
    std::vector<std::string> names = kFixedNames;
    names.insert(names.end(), {"videodrv.exe", "mail.exe"});
    EXPECT_EQ(b.t.dlg->m_virusFileNames, names);
    EXPECT_EQ(b.Families(), (std::vector<std::string>{"I-Worm.Mimail", "I-Worm.Mimail"}));
    EXPECT_EQ(b.Counts(), (std::vector<int>{4, 2}));
    EXPECT_EQ(b.t.dlg->m_walker.Extensions(), (std::vector<std::string>{".scr", ".tmp", ".zip"}));

    // The autostart check then takes both values by the registered names.
    b.t.view.ResetLog();
    b.t.dlg->CheckRunEntries(b.t.dlg->m_virusFileNames);
    EXPECT_EQ(b.t.view.Log(), (std::vector<std::string>{
                                  T(IDS_VIRUS_FILE) + "I-Worm.Mimail: videodrv.exe" + T(kIdsRemovedFromRegistry),
                                  T(IDS_VIRUS_FILE) + "I-Worm.Mimail: mail.exe" + T(kIdsRemovedFromRegistry)}));
    EXPECT_FALSE(b.HasRunValue(HKLM, "VideoDriver"));
    EXPECT_FALSE(b.HasRunValue(HKCU, "Mailer"));
    EXPECT_TRUE(b.HasRunValue(HKLM, "Keep"));
    EXPECT_TRUE(b.HasRunValue(HKCU, "Notes"));
}

// A body held by a process that cannot be stopped stays, with no line of
// the cleaner's; its name is registered all the same, so that the later
// stages try again.
TEST_P(MimailOnPlatform, BodyThatCannotGoIsStillRegistered) {
    CMimailBench b(GetParam());
    const std::string body = b.Put("C:\\WINDOWS\\videodrv.exe", MimailBody());
    const std::uint32_t pid = b.t.machine.StartProcess(body, kStubborn);
    b.t.machine.PutString(HKCU, kRunKeyPath, "VideoDriver", body);

    b.t.dlg->CleanMimail();

    std::vector<std::string> expected;
    if (GetParam() == NT) expected.push_back(ScheduledLine(body));
    EXPECT_EQ(b.t.view.Log(), expected);
    EXPECT_TRUE(b.t.machine.IsRunning(pid));
    EXPECT_TRUE(b.Exists(body));
    EXPECT_EQ(b.t.dlg->m_virusFileNames.back(), "videodrv.exe");
    EXPECT_EQ(b.Counts(), (std::vector<int>{4, 1}));
}

INSTANTIATE_TEST_SUITE_P(Families, MimailOnPlatform, testing::Values(NT, W9X), PlatformRowName);

// --- what is not followed to a Mimail body ----------------------------------------

struct MimailNearMissCase {
    const char* name;
    const char* data;         // of the Run value
    const char* file;         // planted at this path
    const std::uint8_t* window;  // null: an ordinary program
    bool classifierDeletes;   // another family's body: the classifier's own line
};

void PrintTo(const MimailNearMissCase& c, std::ostream* os) { *os << c.name; }

const MimailNearMissCase kNearMisses[] = {
    {"RelativeCommandBodyOnlyInItsSubdirectory", "Sub\\mail.exe", "C:\\WINDOWS\\Sub\\mail.exe", kMimailWindow, false},
    // The dot rule cuts a two-letter extension away entirely: nothing is
    // looked at, and the body is left to the disk walk.
    {"TwoLetterExtensionNamesNoFile", "C:\\WINDOWS\\mail.js", "C:\\WINDOWS\\mail.js", kMimailWindow, false},
    {"AbsoluteCommandElsewhere", "C:\\Tools\\videodrv.exe", "C:\\WINDOWS\\videodrv.exe", kMimailWindow, false},
    {"BodyOfAnotherFamily", "C:\\WINDOWS\\bot.exe", "C:\\WINDOWS\\bot.exe", kSpyBotWindow, true},
    {"OrdinaryProgram", "notepad.exe", "C:\\WINDOWS\\notepad.exe", nullptr, false},
};

class MimailNearMiss : public testing::TestWithParam<MimailNearMissCase> {};

TEST_P(MimailNearMiss, RegistersOnlyTheFixedNames) {
    const MimailNearMissCase& c = GetParam();
    CMimailBench b(NT);
    b.Put(c.file, c.window ? Body(c.window) : std::string(kPlain));
    const std::uint32_t pid = b.t.machine.StartProcess(c.file);
    b.t.machine.PutString(HKLM, kRunKeyPath, "Value", c.data);

    b.t.dlg->CleanMimail();

    if (c.classifierDeletes) {
        // Running, the body can only be scheduled; no Mimail step follows.
        EXPECT_EQ(b.t.view.Log(), std::vector<std::string>{T(IDS_VIRUS_FILE) + c.file + " (SpyBot)" +
                                                           T(IDS_DELETED_AT_RESTART)});
    } else {
        EXPECT_TRUE(b.t.view.Log().empty());
        EXPECT_TRUE(b.t.machine.RestartDeletions().empty());
    }
    EXPECT_TRUE(b.t.machine.IsRunning(pid));
    EXPECT_TRUE(b.Exists(c.file));
    EXPECT_TRUE(b.HasRunValue(HKLM, "Value"));
    EXPECT_EQ(b.t.dlg->m_virusFileNames, kFixedNames);
    EXPECT_EQ(b.Families(), std::vector<std::string>{"I-Worm.Mimail"});
}

INSTANTIATE_TEST_SUITE_P(Cases, MimailNearMiss, testing::ValuesIn(kNearMisses),
                         [](const auto& info) { return std::string(info.param.name); });

// --- fault sweep --------------------------------------------------------------------

namespace {

int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CMimailBench b(platform);
    const std::string running = b.Put("C:\\WINDOWS\\videodrv.exe", MimailBody());
    const std::string idle = b.Put("C:\\WINDOWS\\mail.exe", MimailBody());
    const std::string keep = b.Put("C:\\Program Files\\keep.exe", kPlain);
    b.t.machine.StartProcess(running);
    b.t.machine.StartProcess(keep);
    b.t.machine.PutString(HKLM, kRunKeyPath, "VideoDriver", running + " -start");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Keep", keep);
    b.t.machine.PutString(HKCU, kRunKeyPath, "Mailer", "mail.exe");

    const int fired = AuditedFaultRun(b.t.machine, b.t.view, fault, [&] { b.t.dlg->CleanMimail(); });
    EXPECT_TRUE(b.Exists(keep));
    EXPECT_TRUE(b.HasRunValue(HKLM, "Keep"));
    // Whatever failed, every name registered is covered by a count.
    int counted = 0;
    for (int c : b.Counts()) counted += c;
    EXPECT_EQ(static_cast<std::size_t>(counted), b.t.dlg->m_virusFileNames.size());
    return fired;
}

}  // namespace

class MimailFaultSweep : public testing::TestWithParam<std::uint32_t> {};

TEST_P(MimailFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults({"OpenKey", "EnumValue", "ProcessSnapshot", "OpenProcess", "TerminateProcess", "FirstModuleFileName",
                 "GetAttributes", "SetAttributes", "RemoveFile", "RemoveAtRestart", "OpenForRead", "ReadAt"},
                {ERROR_ACCESS_DENIED}, [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, MimailFaultSweep, testing::Values(NT, W9X), PlatformRowName);
