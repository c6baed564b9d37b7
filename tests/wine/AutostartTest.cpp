// The autostart checks of the real program on both Windows families: Run,
// RunOnce and (9x only) RunServices values naming a registered file, the
// registered process, and the load/run entries of win.ini and the shell
// entry of system.ini set back to "explorer.exe".
#include <gtest/gtest.h>

#include <ostream>

#include "ProgramDriver.h"
#include "ScanLog.h"
#include "TracePlanter.h"
#include "WineFixtures.h"

namespace {

struct SAutostartCase {
    const char* name;
    const wchar_t* wineVersion;
    bool nineX;
};

// Failure messages name the row instead of dumping its fields.
void PrintTo(const SAutostartCase& row, std::ostream* os) { *os << row.name; }

const SAutostartCase kAutostartCases[] = {
    {"WindowsXp", L"winxp64", false},
    {"Windows98", L"win98", true},
};

class AutostartChecks : public testing::TestWithParam<SAutostartCase> {};

std::wstring IniEntry(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
    wchar_t value[260] = {};
    GetPrivateProfileStringW(section.c_str(), key.c_str(), L"(none)", value, 260, file.c_str());
    return value;
}

}  // namespace

// Bagle registers "d3dupdate.exe" and MyDoom "gremlin"; a machine that never
// met either worm still names them here, and everything that names them goes.
TEST_P(AutostartChecks, RemoveRegisteredNamesFromAutostartPlacesAndIniFiles) {
    const SAutostartCase& row = GetParam();
    CScopedWindowsVersion version(row.wineVersion);
    CPlantedTree dir(L"C:\\kc-autostart");
    CTracePlanter traces;
    const std::wstring registered = dir.Root() + L"\\d3dupdate.exe";
    const DWORD registeredId = traces.StartBody(registered, 0);
    traces.SetString(HKEY_LOCAL_MACHINE, kRunOnceKey, L"SysCheck", registered + L" -q");
    traces.SetString(HKEY_LOCAL_MACHINE, kRunServicesKey, L"SysService", registered);
    traces.SetString(HKEY_CURRENT_USER, kRunKey, L"Notes", dir.Root() + L"\\notes.exe");
    // An entry equal to a registered name in another case counts; so does
    // one that holds a registered name anywhere.
    traces.SetIniEntry(L"win.ini", L"windows", L"load", L"GREMLIN");
    traces.SetIniEntry(L"win.ini", L"windows", L"run", registered);
    traces.SetIniEntry(L"win.ini", L"windows", L"Programs", L"com exe bat pif");
    traces.SetIniEntry(L"system.ini", L"boot", L"shell", L"Explorer.exe " + registered);

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    const std::vector<std::wstring> log = ScanToTheEnd(program);

    const std::wstring valueLine = NameRemovedFromRegistryLine(L"I-Worm.Bagle", L"d3dupdate.exe");
    SScanLog expected;
    expected.registry = {valueLine};                        // RunOnce
    if (row.nineX) expected.registry.push_back(valueLine);  // RunServices
    expected.registry.push_back(NameRemovedFromMemoryLine(L"I-Worm.Bagle", L"d3dupdate.exe"));
    if (row.nineX) {
        expected.registry.push_back(Text(44) + L"win.ini" + Text(45));
        expected.registry.push_back(Text(44) + L"win.ini" + Text(45));
        expected.registry.push_back(Text(44) + L"system.ini" + Text(45));
    } else {
        // The NT family reports each rewritten entry as the logon key.
        expected.registry.insert(expected.registry.end(), 3, Text(2));
    }
    expected.disks = {NamedFileDeletedLine(L"I-Worm.Bagle", registered)};
    ExpectScanLog(log, expected);

    DWORD code = 0;
    ASSERT_TRUE(traces.HasEnded(registeredId, 10000, &code));
    EXPECT_EQ(code, 1u) << "the registered process ended by itself";
    EXPECT_FALSE(FileExists(registered));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunOnceKey, L"SysCheck"));
    EXPECT_EQ(ValueExists(HKEY_LOCAL_MACHINE, kRunServicesKey, L"SysService"), !row.nineX)
        << "only the 9x family starts anything from RunServices";
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunKey, L"Notes")) << "a value naming no registered file stays";
    EXPECT_EQ(ToUtf8(IniEntry(L"win.ini", L"windows", L"load")), "explorer.exe");
    EXPECT_EQ(ToUtf8(IniEntry(L"win.ini", L"windows", L"run")), "explorer.exe");
    EXPECT_EQ(ToUtf8(IniEntry(L"win.ini", L"windows", L"Programs")), "com exe bat pif");
    EXPECT_EQ(ToUtf8(IniEntry(L"system.ini", L"boot", L"shell")), "explorer.exe");
    program.ExitWithButton();
}

INSTANTIATE_TEST_SUITE_P(Families, AutostartChecks, testing::ValuesIn(kAutostartCases),
                         [](const testing::TestParamInfo<SAutostartCase>& info) { return info.param.name; });
