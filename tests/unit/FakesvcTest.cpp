// The Fakesvc cleaner on the simulated machine: the logon program list on
// the NT family, the RunServices value on 9x, the trojan's two content
// windows, its key and value, the name it leaves for the later stages, and
// a fault sweep on both families.
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
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;
constexpr CSimMachine::ProcessOptions kStubborn = {true, true, false};

const char* const kWinLogonKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\WinLogon";
const char* const kRunServicesKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char* const kPluginKey = "Software\\Microsoft\\DirectPlugin";
const char* const kTag = "(Trojan.Win32.Fakesvc)";
const char* const kPlainProgram = "MZ an ordinary program";

// The trojan's windows and where they lie.
const unsigned char kWindowA[16] = {0x53, 0x23, 0x1C, 0xB5, 0xF7, 0x01, 0xF9, 0x00,
                                    0x53, 0x49, 0x4E, 0x47, 0x00, 0x44, 0x4F, 0x4D};
const unsigned char kWindowB[16] = {0x18, 0xCA, 0x32, 0x18, 0x87, 0x89, 0xA6, 0xA2,
                                    0x15, 0x4D, 0x24, 0x21, 0x08, 0x42, 0x63, 0x51};
constexpr std::size_t kOffsetA = 53952;
constexpr std::size_t kOffsetB = 53776;

// "MZ", zeros, and `length` bytes of the window at its offset: a file that
// ends inside the window holds only its first part.
std::string BodyWith(const unsigned char (&window)[16], std::size_t offset, std::size_t length = 16) {
    std::string body(offset + length, '\0');
    body.replace(0, 2, "MZ");
    body.replace(offset, length, reinterpret_cast<const char*>(window), length);
    return body;
}
std::string BodyA() { return BodyWith(kWindowA, kOffsetA); }
std::string BodyB() { return BodyWith(kWindowB, kOffsetB); }

std::string T(std::uint32_t id) { return BuiltInString(id); }
std::string PlatformName(std::uint32_t platform) { return platform == NT ? "NT" : "Win9x"; }

std::string FoundLine() { return T(IDS_VIRUS_MODULE_STOPPED) + kTag; }
std::string DeletedLine(const std::string& path) { return T(IDS_FILE_DELETED) + path + " " + kTag; }
std::string LogonLine() { return "   " + T(IDS_LOGON_KEY_CHECKED); }
std::string ServiceLine() { return "   " + T(IDS_REGISTRY_KEY_RESTORED) + kTag; }

struct CFakesvcMachine {
    explicit CFakesvcMachine(std::uint32_t platform) : t(platform) {}

    std::string Put(const std::string& winPath, const std::string& bytes) { return ::Put(t, winPath, bytes); }
    bool Exists(const std::string& winPath) const { return ::Exists(t, winPath); }
    std::vector<std::string> Lines() const { return ::Lines(t); }
    void SetUserinit(const std::string& text, std::uint32_t type = REG_SZ) {
        std::vector<std::uint8_t> data(text.begin(), text.end());
        data.push_back(0);
        t.machine.PutValue(HKLM, kWinLogonKey, "userinit", type, data);
    }
    // The stored text, "<missing>" when there is none.
    std::string Value(const std::string& key, const std::string& name, std::uint32_t* type = nullptr) const {
        std::uint32_t stored = 0;
        std::vector<std::uint8_t> data;
        if (!t.machine.GetValue(HKLM, key, name, stored, data)) return "<missing>";
        if (type) *type = stored;
        std::string s(data.begin(), data.end());
        return s.substr(0, s.find('\0'));
    }
    void PlantPluginKey() { t.machine.PutString(HKLM, std::string(kPluginKey) + "\\Config", "Port", "1080"); }

    CTestMachine t;
};

}  // namespace

// --- the NT family: the logon program list --------------------------------------------

TEST(FakesvcNT, RunningTrojanLeavesTheLogonListAndItsKeyAndValueGo) {
    CFakesvcMachine m(NT);
    const std::string trojan = m.Put("C:\\WINDOWS\\System32\\svcinit.exe", BodyA());
    const std::string tool = m.Put("C:\\Program Files\\Logon\\tool.exe", kPlainProgram);
    const std::uint32_t trojanPid = m.t.machine.StartProcess(trojan);
    const std::uint32_t toolPid = m.t.machine.StartProcess(tool);
    m.SetUserinit("C:\\WINDOWS\\system32\\userinit.exe,  " + trojan + "," + tool);
    m.t.machine.PutString(HKLM, kRunServicesKey, "SVC Service", trojan);
    m.t.machine.PutString(HKLM, kRunServicesKey, "Other", "C:\\x.exe");
    m.PlantPluginKey();

    m.t.dlg->CleanFakesvc();

    // The entries are taken in lower case, and so the path is logged.
    const std::string lowered = "c:\\windows\\system32\\svcinit.exe";
    EXPECT_EQ(m.Lines(), (std::vector<std::string>{FoundLine(), DeletedLine(lowered), LogonLine(), ServiceLine()}));
    std::uint32_t type = 0;
    EXPECT_EQ(m.Value(kWinLogonKey, "userinit", &type),
              "c:\\windows\\system32\\userinit.exe,c:\\program files\\logon\\tool.exe,");
    EXPECT_EQ(type, REG_SZ) << "the system keeps the list as a plain string";
    EXPECT_FALSE(m.t.machine.IsRunning(trojanPid));
    EXPECT_FALSE(m.Exists(trojan));
    EXPECT_TRUE(m.t.machine.IsRunning(toolPid));
    EXPECT_TRUE(m.Exists(tool));
    EXPECT_FALSE(m.t.machine.HasKey(HKLM, kPluginKey));
    EXPECT_EQ(m.Value(kRunServicesKey, "SVC Service"), "<missing>");
    EXPECT_EQ(m.Value(kRunServicesKey, "Other"), "C:\\x.exe");

    const std::vector<Finding> findings = m.t.view.Findings();
    ASSERT_EQ(findings.size(), 4u);
    EXPECT_EQ(findings[0].kind, ActionKind::ProcessStopped);
    EXPECT_EQ(findings[0].family, "Trojan.Win32.Fakesvc");
    EXPECT_EQ(findings[1].kind, ActionKind::FileDeleted);
    EXPECT_EQ(findings[1].family, "Trojan.Win32.Fakesvc");
    EXPECT_EQ(findings[2].kind, ActionKind::RegistryValueRestored);
    EXPECT_EQ(findings[3].kind, ActionKind::RegistryValueDeleted);
}

namespace {

enum class FileKind { BodyA, BodyB, Plain, ShortA, Locked };

struct PlantedFile {
    const char* path;
    FileKind kind;
};

struct UserinitCase {
    const char* name;
    std::string stored;  // empty: no value at all
    std::uint32_t type;
    std::vector<PlantedFile> files;
    std::string expected;  // the value afterwards
    std::uint32_t expectedType;
    const char* trojan;  // the entry whose file goes, as logged
    bool rewritten;
};

void PrintTo(const UserinitCase& c, std::ostream* os) { *os << c.name; }

const char* const kSystemEntry = "C:\\WINDOWS\\system32\\userinit.exe";
const std::string kSystemLowered = "c:\\windows\\system32\\userinit.exe,";

std::string LongList() {
    std::string list = std::string(kSystemEntry) + ",C:\\WINDOWS\\System32\\svcinit.exe,C:\\Tools\\";
    return list + std::string(240, 'a') + ".exe";
}

const UserinitCase kUserinitCases[] = {
    {"OnlyTheSystemsProgram", std::string(kSystemEntry) + ",", REG_SZ, {}, std::string(kSystemEntry) + ",", REG_SZ,
     nullptr, false},
    {"OnlyTheSystemsProgramInCapitals", "C:\\WINDOWS\\SYSTEM32\\USERINIT.EXE,", REG_SZ, {},
     "C:\\WINDOWS\\SYSTEM32\\USERINIT.EXE,", REG_SZ, nullptr, false},
    {"WithoutTheTrailingComma", kSystemEntry, REG_SZ, {}, kSystemLowered, REG_SZ, nullptr, true},
    {"BlanksAfterACommaGo", std::string(kSystemEntry) + ",    C:\\Tools\\T.exe", REG_SZ,
     {{"C:\\Tools\\T.exe", FileKind::Plain}}, kSystemLowered + "c:\\tools\\t.exe,", REG_SZ, nullptr, true},
    {"EmptyEntriesGo", std::string(kSystemEntry) + ",,, ,C:\\Tools\\t.exe,", REG_SZ,
     {{"C:\\Tools\\t.exe", FileKind::Plain}}, kSystemLowered + "c:\\tools\\t.exe,", REG_SZ, nullptr, true},
    {"MissingFileIsDropped", std::string(kSystemEntry) + ",C:\\Gone\\x.exe", REG_SZ, {}, kSystemLowered, REG_SZ,
     nullptr, true},
    {"WindowBTrojan", std::string(kSystemEntry) + ",C:\\WINDOWS\\System32\\SvcHelp.exe,", REG_SZ,
     {{"C:\\WINDOWS\\System32\\SvcHelp.exe", FileKind::BodyB}}, kSystemLowered, REG_SZ,
     "c:\\windows\\system32\\svchelp.exe", true},
    // Too short for the whole window: the missing bytes read as zeros.
    {"FileEndingInsideWindowA", std::string(kSystemEntry) + ",C:\\Tools\\short.exe,", REG_SZ,
     {{"C:\\Tools\\short.exe", FileKind::ShortA}}, std::string(kSystemEntry) + ",C:\\Tools\\short.exe,", REG_SZ,
     nullptr, false},
    // Only the trojan: the list would be empty, and a logon that starts
    // nothing (or a file that is gone) locks the user out, so the system's
    // own program is put back.
    {"OnlyTheTrojan", "C:\\WINDOWS\\System32\\svcinit.exe", REG_SZ,
     {{"C:\\WINDOWS\\System32\\svcinit.exe", FileKind::BodyA}}, kSystemLowered, REG_SZ,
     "c:\\windows\\system32\\svcinit.exe", true},
    // Emptied by dropping only entries that start nothing: never written.
    {"OnlyMissingFiles", "C:\\Gone\\x.exe,C:\\Gone\\y.exe", REG_SZ, {}, "C:\\Gone\\x.exe,C:\\Gone\\y.exe", REG_SZ,
     nullptr, false},
    {"NoValue", "", REG_SZ, {{"C:\\WINDOWS\\System32\\svcinit.exe", FileKind::BodyA}}, "<missing>", REG_SZ, nullptr,
     false},
    // Too long to be read: left as it is, and nothing in it is looked at.
    {"TooLongToRead", LongList(), REG_SZ, {{"C:\\WINDOWS\\System32\\svcinit.exe", FileKind::BodyA}}, LongList(),
     REG_SZ, nullptr, false},
    // Names the logon finds through the system's search path stay, the
    // system's own program written without its extension among them.
    {"BareNamesStay", "userinit,nddeagnt.exe,", REG_SZ, {}, "userinit,nddeagnt.exe,", REG_SZ, nullptr, false},
    {"BareNameStaysBesideARemovedTrojan", "userinit,C:\\WINDOWS\\System32\\svcinit.exe", REG_SZ,
     {{"C:\\WINDOWS\\System32\\svcinit.exe", FileKind::BodyA}}, "userinit,", REG_SZ,
     "c:\\windows\\system32\\svcinit.exe", true},
    // A program that is there but cannot be read is not proven the trojan.
    {"UnreadableProgramStays", std::string(kSystemEntry) + ",C:\\Tools\\held.exe", REG_SZ,
     {{"C:\\Tools\\held.exe", FileKind::Locked}}, kSystemLowered + "c:\\tools\\held.exe,", REG_SZ, nullptr, true},
    {"ExpandableListStaysExpandable", "%SystemRoot%\\system32\\userinit.exe,C:\\Gone\\x.exe", REG_EXPAND_SZ, {},
     "%systemroot%\\system32\\userinit.exe,", REG_EXPAND_SZ, nullptr, true},
};

class FakesvcUserinit : public testing::TestWithParam<UserinitCase> {};

}  // namespace

TEST_P(FakesvcUserinit, IsRebuiltFromWhatItReallyStarts) {
    const UserinitCase& c = GetParam();
    CFakesvcMachine m(NT);
    for (const PlantedFile& f : c.files) {
        switch (f.kind) {
            case FileKind::BodyA: m.Put(f.path, BodyA()); break;
            case FileKind::BodyB: m.Put(f.path, BodyB()); break;
            case FileKind::Plain: m.Put(f.path, kPlainProgram); break;
            case FileKind::ShortA: m.Put(f.path, BodyWith(kWindowA, kOffsetA, 8)); break;
            case FileKind::Locked:
                m.Put(f.path, BodyA());
                m.t.machine.LockFile(f.path, true);
                break;
        }
    }
    if (!c.stored.empty()) m.SetUserinit(c.stored, c.type);

    m.t.dlg->CleanFakesvc();

    std::vector<std::string> expected;
    if (c.trojan) expected.push_back(DeletedLine(c.trojan));
    if (c.rewritten) expected.push_back(LogonLine());
    EXPECT_EQ(m.Lines(), expected);
    std::uint32_t type = 0;
    EXPECT_EQ(m.Value(kWinLogonKey, "userinit", &type), c.expected);
    if (c.expected != "<missing>") {
        EXPECT_EQ(type, c.expectedType);
    }
    for (const PlantedFile& f : c.files) {
        const bool gone = c.trojan && EqualsNoCase(f.path, c.trojan);
        EXPECT_EQ(m.Exists(f.path), !gone) << f.path;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FakesvcUserinit, testing::ValuesIn(kUserinitCases),
                         [](const testing::TestParamInfo<UserinitCase>& info) { return info.param.name; });

// --- the 9x family: the RunServices value ----------------------------------------------

TEST(Fakesvc9x, RunningTrojanStartedAsAServiceIsStoppedAndDeleted) {
    CFakesvcMachine m(W9X);
    const std::string trojan = m.Put("C:\\WINDOWS\\SYSTEM\\svcinit.exe", BodyA());
    const std::uint32_t pid = m.t.machine.StartProcess(trojan);
    m.t.machine.PutString(HKLM, kRunServicesKey, "SVC Service", "\"" + trojan + "\"");
    // The 9x family has no logon program list; one planted there is not read.
    const std::string list = "C:\\WINDOWS\\SYSTEM\\userinit.exe,C:\\WINDOWS\\SYSTEM\\other.exe";
    m.Put("C:\\WINDOWS\\SYSTEM\\other.exe", BodyB());
    m.SetUserinit(list);
    m.PlantPluginKey();

    m.t.dlg->CleanFakesvc();

    // The path as the value wrote it, without the quotes.
    EXPECT_EQ(m.Lines(), (std::vector<std::string>{FoundLine(), DeletedLine(trojan), ServiceLine()}));
    EXPECT_FALSE(m.t.machine.IsRunning(pid));
    EXPECT_FALSE(m.Exists(trojan));
    EXPECT_EQ(m.Value(kRunServicesKey, "SVC Service"), "<missing>");
    EXPECT_FALSE(m.t.machine.HasKey(HKLM, kPluginKey));
    EXPECT_EQ(m.Value(kWinLogonKey, "userinit"), list);
    EXPECT_TRUE(m.Exists("C:\\WINDOWS\\SYSTEM\\other.exe"));
}

namespace {

struct RunServicesCase {
    const char* name;
    const char* valueName;
    const char* data;
    const char* file;  // where the body lies
    bool body;         // the file holds the trojan's window
    bool removed;
    bool valueDeleted;
};

void PrintTo(const RunServicesCase& c, std::ostream* os) { *os << c.name; }

const RunServicesCase kRunServicesCases[] = {
    {"Plain", "SVC Service", "C:\\WINDOWS\\SYSTEM\\svcinit.exe", "C:\\WINDOWS\\SYSTEM\\svcinit.exe", true, true, true},
    {"NameAndDataInOtherCase", "svc service", "C:\\WINDOWS\\SYSTEM\\SvcInit.EXE", "C:\\WINDOWS\\SYSTEM\\SvcInit.EXE",
     true, true, true},
    // The data must name the trojan's file before the file is looked at;
    // the value goes all the same.
    {"DataNamingAnotherFile", "SVC Service", "C:\\WINDOWS\\SYSTEM\\svchost32.exe",
     "C:\\WINDOWS\\SYSTEM\\svchost32.exe", true, false, true},
    {"FileThatIsNoTrojan", "SVC Service", "C:\\WINDOWS\\SYSTEM\\svcinit.exe", "C:\\WINDOWS\\SYSTEM\\svcinit.exe",
     false, false, true},
    // Only the quotes go: an argument after them leaves no file to test.
    {"QuotedWithArgument", "SVC Service", "\"C:\\WINDOWS\\SYSTEM\\svcinit.exe\" -s",
     "C:\\WINDOWS\\SYSTEM\\svcinit.exe", true, false, true},
    {"OtherValueName", "SVC Services", "C:\\WINDOWS\\SYSTEM\\svcinit.exe", "C:\\WINDOWS\\SYSTEM\\svcinit.exe", true,
     false, false},
};

class FakesvcRunServices : public testing::TestWithParam<RunServicesCase> {};

}  // namespace

TEST_P(FakesvcRunServices, LeadsToTheTrojanOrNot) {
    const RunServicesCase& c = GetParam();
    CFakesvcMachine m(W9X);
    m.Put(c.file, c.body ? BodyA() : kPlainProgram);
    m.t.machine.PutString(HKLM, kRunServicesKey, c.valueName, c.data);

    m.t.dlg->CleanFakesvc();

    std::vector<std::string> expected;
    if (c.removed) expected.push_back(DeletedLine(c.file));
    if (c.valueDeleted) expected.push_back(ServiceLine());
    EXPECT_EQ(m.Lines(), expected);
    EXPECT_EQ(m.Exists(c.file), !c.removed);
    EXPECT_EQ(m.Value(kRunServicesKey, c.valueName) == "<missing>", c.valueDeleted);
}

INSTANTIATE_TEST_SUITE_P(Cases, FakesvcRunServices, testing::ValuesIn(kRunServicesCases),
                         [](const testing::TestParamInfo<RunServicesCase>& info) { return info.param.name; });

// --- a trojan that will not go ------------------------------------------------------------

namespace {

// Plants the trojan where the family looks for it; returns its path as the
// cleaner will log it.
std::string PlantTrojan(CFakesvcMachine& m, std::uint32_t platform, CSimMachine::ProcessOptions options,
                        std::uint32_t& pid) {
    const std::string path = m.Put(platform == NT ? "C:\\WINDOWS\\System32\\svcinit.exe"
                                                  : "C:\\WINDOWS\\SYSTEM\\svcinit.exe",
                                   BodyA());
    pid = m.t.machine.StartProcess(path, options);
    if (platform == NT) {
        m.SetUserinit(std::string(kSystemEntry) + "," + path);
        return ToLowerName(path);
    }
    m.t.machine.PutString(HKLM, kRunServicesKey, "SVC Service", path);
    return path;
}

class FakesvcStubborn : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(FakesvcStubborn, TrojanThatWillNotStopGetsNoLineButLosesItsAutostart) {
    const std::uint32_t platform = GetParam();
    CFakesvcMachine m(platform);
    std::uint32_t pid = 0;
    const std::string path = PlantTrojan(m, platform, kStubborn, pid);

    m.t.dlg->CleanFakesvc();

    // Nothing left memory and nothing was deleted (there is no restart
    // fallback); the autostart entry goes all the same.
    EXPECT_EQ(m.Lines(), std::vector<std::string>{platform == NT ? LogonLine() : ServiceLine()});
    EXPECT_TRUE(m.t.machine.IsRunning(pid));
    EXPECT_TRUE(m.Exists(path));
    EXPECT_TRUE(m.t.machine.RestartDeletions().empty());
    if (platform == NT) {
        EXPECT_EQ(m.Value(kWinLogonKey, "userinit"), kSystemLowered);
    }
}

TEST_P(FakesvcStubborn, StoppedTrojanWhoseFileWillNotGoGetsOnlyTheFoundLine) {
    const std::uint32_t platform = GetParam();
    CFakesvcMachine m(platform);
    std::uint32_t pid = 0;
    const std::string path = PlantTrojan(m, platform, {}, pid);
    m.t.machine.FailCall("RemoveFile", "svcinit", ERROR_ACCESS_DENIED);

    m.t.dlg->CleanFakesvc();

    EXPECT_EQ(m.Lines(), (std::vector<std::string>{FoundLine(), platform == NT ? LogonLine() : ServiceLine()}));
    EXPECT_FALSE(m.t.machine.IsRunning(pid));
    EXPECT_TRUE(m.Exists(path));
}

INSTANTIATE_TEST_SUITE_P(Families, FakesvcStubborn, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return PlatformName(info.param); });

// --- a clean machine, the name it leaves, its place in the order -------------------------

namespace {
class FakesvcOnPlatform : public testing::TestWithParam<std::uint32_t> {};
}  // namespace

TEST_P(FakesvcOnPlatform, CleanMachineGetsNoLine) {
    CFakesvcMachine m(GetParam());
    const std::string list = std::string(kSystemEntry) + ",";
    m.SetUserinit(list);
    m.t.machine.PutString(HKLM, kRunServicesKey, "Spooler", "C:\\WINDOWS\\SYSTEM\\spool32.exe");

    m.t.dlg->CleanFakesvc();

    EXPECT_TRUE(m.Lines().empty());
    EXPECT_TRUE(m.t.view.Findings().empty());
    EXPECT_EQ(m.Value(kWinLogonKey, "userinit"), list);
    EXPECT_EQ(m.Value(kRunServicesKey, "Spooler"), "C:\\WINDOWS\\SYSTEM\\spool32.exe");
    const std::vector<std::string> extensions = m.t.dlg->m_walker.Extensions();
    EXPECT_NE(std::find(extensions.begin(), extensions.end(), ".exe"), extensions.end());
}

TEST_P(FakesvcOnPlatform, RegisteredNameIsStoppedAndItsAutostartDeletedUnderTheFamily) {
    const std::uint32_t platform = GetParam();
    CFakesvcMachine m(platform);
    const std::size_t namesBefore = m.t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = m.t.dlg->m_familyNames.size();
    // A copy under the trojan's name that no window identifies, and a Run
    // value that starts it.
    const std::string copy = m.Put("C:\\Temp\\svcinit.exe", kPlainProgram);
    const std::uint32_t pid = m.t.machine.StartProcess(copy);
    m.t.machine.PutString(HKLM, kRunKeyPath, "Loader", copy + " -q");

    m.t.dlg->CleanFakesvc();
    ASSERT_EQ(m.t.dlg->m_virusFileNames.size(), namesBefore + 1);
    EXPECT_EQ(m.t.dlg->m_virusFileNames[namesBefore], "svcinit.exe");
    ASSERT_EQ(m.t.dlg->m_familyNames.size(), familiesBefore + 1);
    EXPECT_EQ(m.t.dlg->m_familyNames[familiesBefore], "Trojan.Win32.Fakesvc");
    EXPECT_EQ(m.t.dlg->m_familyNameCount[familiesBefore], 1);
    EXPECT_TRUE(m.Lines().empty());

    m.t.dlg->CheckRunEntries(m.t.dlg->m_virusFileNames);
    m.t.dlg->KillRegisteredProcesses();
    EXPECT_EQ(m.Lines(), (std::vector<std::string>{
                             T(IDS_VIRUS_FILE) + "Trojan.Win32.Fakesvc: svcinit.exe" + T(10),
                             T(IDS_VIRUS_FILE) + "Trojan.Win32.Fakesvc: svcinit.exe" + T(IDS_REMOVED_FROM_MEMORY)}));
    EXPECT_FALSE(m.t.machine.IsRunning(pid));
}

INSTANTIATE_TEST_SUITE_P(Families, FakesvcOnPlatform, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return PlatformName(info.param); });

TEST(FakesvcOrder, RunsLastOfTheCleaners) {
    CFakesvcMachine m(NT);
    m.t.dlg->RunFamilyCleaners();
    const std::vector<std::string>& families = m.t.dlg->m_familyNames;
    ASSERT_FALSE(families.empty());
    EXPECT_EQ(families.back(), "Trojan.Win32.Fakesvc");
    // The registrations show the order of the cleaners that make them.
    const auto at = [&](const char* family) { return std::find(families.begin(), families.end(), family); };
    EXPECT_LT(at("Worm.DoomHunter"), at("Worm.Swen"));
    EXPECT_LT(at("Worm.Swen"), at("Worm.Opasoft"));
    EXPECT_LT(at("Worm.Opasoft"), at("Trojan.Win32.Fakesvc"));
}

// --- fault sweep ----------------------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {
    "OpenKey",     "QueryValue",   "EnumValue",  "SetValue",  "SetKeyDefault", "EnumKey",    "DeleteKey",
    "DeleteValue", "ProcessSnapshot", "OpenProcess", "TerminateProcess", "FirstModuleFileName",
    "OpenForRead", "ReadAt",       "GetAttributes", "SetAttributes", "RemoveFile"};

// The trojan running and a second one idle, in the logon list (NT) or the
// RunServices value (9x), beside the system's program, an ordinary one and
// a missing one, with the trojan's key; one injected fault.
int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CFakesvcMachine m(platform);
    const std::string sys = platform == NT ? "C:\\WINDOWS\\System32" : "C:\\WINDOWS\\SYSTEM";
    const std::string running = m.Put(sys + "\\svcinit.exe", BodyA());
    const std::string idle = m.Put(sys + "\\svchelp.exe", BodyB());
    const std::string tool = m.Put("C:\\Program Files\\Logon\\tool.exe", kPlainProgram);
    m.t.machine.StartProcess(running);
    m.t.machine.StartProcess(tool);
    m.SetUserinit(sys + "\\userinit.exe, " + running + "," + idle + "," + tool + ",C:\\Gone\\x.exe");
    m.t.machine.PutString(HKLM, kRunServicesKey, "SVC Service", "\"" + running + "\"");
    m.t.machine.PutString(HKLM, kRunServicesKey, "Spooler", tool);
    m.PlantPluginKey();

    SAuditOptions options;
    options.silentKeys = {std::string("HKEY_LOCAL_MACHINE\\") + kPluginKey};
    const int fired = AuditedFaultRun(m.t.machine, m.t.view, fault, [&] { m.t.dlg->CleanFakesvc(); }, options);
    EXPECT_TRUE(m.Exists(tool));
    EXPECT_EQ(m.Value(kRunServicesKey, "Spooler"), tool);
    // The logon list never loses the system's program or a program that
    // is there, whatever failed.
    const std::string list = m.Value(kWinLogonKey, "userinit");
    EXPECT_NE(ToLowerName(list).find("userinit.exe"), std::string::npos) << list;
    EXPECT_NE(ToLowerName(list).find(ToLowerName(tool)), std::string::npos) << list;
    return fired;
}

class FakesvcFaultSweep : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(FakesvcFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED},
                [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, FakesvcFaultSweep, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return PlatformName(info.param); });
