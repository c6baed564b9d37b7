// One whole scan per worm family on the real program, with the family's
// traces planted in the prefix: Run values, running bodies that carry the
// family's rule windows or bear its file names, hijacked settings and marker
// keys. The log is read back line by line and the machine looked at after.
//
// Most family cleaners hand the file of every Run value to the classifier,
// so a body is often met first by a cleaner that runs before its own one
// (MyDoom runs second of the twenty, then Randex, Vesser and Apdoor, long
// before NetSky, Swen and Bagle). A running body cannot be deleted: the
// classifier then schedules it for deletion at restart and the log says so,
// once per cleaner that meets it, until a step stops it. And the Apdoor
// cleaner, finding no backdoor behind a machine-wide Run value, runs the
// memory scan there and then: a body still running at that point is stopped
// by it, and the next cleaner that looks at its file deletes it.
#include <gtest/gtest.h>

#include "ProgramDriver.h"
#include "ScanLog.h"
#include "TracePlanter.h"
#include "WineFixtures.h"

namespace {

constexpr int kFamilySwen = 4;
constexpr int kFamilyBagle = 10;
constexpr int kFamilyMyDoom = 12;
constexpr int kFamilyNetSky = 18;

// How long a process the program ended may take to be gone.
constexpr DWORD kEndWaitMs = 10000;

const wchar_t kWebcheckKey[] = L"CLSID\\{E6FB5E20-DE35-11CF-9C87-00AA005127ED}\\InProcServer32";

// The program ended it, rather than it ending by itself.
void ExpectStoppedByProgram(const CTracePlanter& traces, DWORD processId, const std::wstring& path) {
    DWORD code = 0;
    ASSERT_TRUE(traces.HasEnded(processId, kEndWaitMs, &code)) << ToUtf8(path) << " still runs";
    EXPECT_EQ(code, 1u) << ToUtf8(path) << " ended by itself";
}

void ExpectGone(const std::wstring& path) { EXPECT_FALSE(FileExists(path)) << ToUtf8(path) << " is still there"; }

}  // namespace

// A body under a random name that only the classifier knows, and variant C
// by its Run value; the marker keys and the hijacked webcheck server.
TEST(FamilyScan, MyDoomBodiesRunValuesMarkerKeysAndWebcheck) {
    CPlantedTree dir(L"C:\\kc-family");
    CTracePlanter traces;
    const std::wstring body = dir.Root() + L"\\taskmon.exe";
    const std::wstring variantC = dir.Root() + L"\\intrenat.exe";
    const DWORD bodyId = traces.StartBody(body, kFamilyMyDoom);
    const DWORD variantCId = traces.StartBody(variantC, 0);
    traces.SetString(HKEY_LOCAL_MACHINE, kRunKey, L"TaskMon", L"\"" + body + L"\" -s");
    traces.SetString(HKEY_CURRENT_USER, kRunKey, L"Gremlin", variantC);
    const std::wstring comDlgVersion = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\Version";
    traces.SetString(HKEY_CURRENT_USER, comDlgVersion, L"", L"1");
    traces.SetString(HKEY_CURRENT_USER, comDlgVersion + L"\\Sub", L"Seen", L"1");
    traces.SetString(HKEY_CLASSES_ROOT, kWebcheckKey, L"", dir.Root() + L"\\webcheck.dll");

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    const std::vector<std::wstring> log = ScanToTheEnd(program);

    SScanLog expected;
    expected.cleaners = {
        // The classifier meets the running body first and can only schedule
        // it; the cleaner then deletes the value, stops the body and deletes
        // the file.
        BodyScheduledLine(body, L" (I-Worm.MyDoom)"),
        RunValueDeletedLine(L"(I-Worm.MyDoom)"),
        ModuleStoppedLine(L" (I-Worm.MyDoom)"),
        FileDeletedLine(body, L" (I-Worm.MyDoom)"),
        // Variant C keeps its value for the autostart checks.
        ModuleStoppedLine(L" (I-Worm.MyDoom.C)"),
        FileDeletedLine(variantC, L" (I-Worm.MyDoom.C)"),
        L"   " + Text(2) + L" (I-Worm.MyDoom)",
    };
    // "Gremlin" is a registered name; the value names the file it started.
    expected.registry = {NameRemovedFromRegistryLine(L"I-Worm.MyDoom", L"intrenat.exe")};
    ExpectScanLog(log, expected);

    ExpectStoppedByProgram(traces, bodyId, body);
    ExpectStoppedByProgram(traces, variantCId, variantC);
    ExpectGone(body);
    ExpectGone(variantC);
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, L"TaskMon"));
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, L"Gremlin"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, comDlgVersion)) << "the marker key goes with its subkeys";
    DWORD type = 0;
    EXPECT_EQ(ToUtf8(ReadString(HKEY_CLASSES_ROOT, kWebcheckKey, L"", &type).value_or(L"(none)")),
              "%SystemRoot%\\System32\\webcheck.dll");
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    program.ExitWithButton();
}

// Variants O (value, process, file) and K (process, value, file) by their
// Run values, another body by the classifier; a NetSky value name found
// under the machine's key goes from the user's key too. The classified body
// is stopped by Apdoor's memory scan and deleted by DoomHunter's look at the
// Run values, so by the time NetSky comes to its value nothing ties that
// value to NetSky any more.
TEST(FamilyScan, NetSkyVariantsAndClassifiedBody) {
    CPlantedTree dir(L"C:\\kc-family");
    CTracePlanter traces;
    const std::wstring variantO = dir.Root() + L"\\VisualGuard.exe";
    const std::wstring variantK = dir.Root() + L"\\winlogon.exe";
    const std::wstring body = dir.Root() + L"\\wupdcli.exe";
    const DWORD variantOId = traces.StartBody(variantO, 0);
    const DWORD variantKId = traces.StartBody(variantK, 0);
    const DWORD bodyId = traces.StartBody(body, kFamilyNetSky);
    // Listed in name order, which is also the order they are made in here.
    traces.SetString(HKEY_LOCAL_MACHINE, kRunKey, L"NetDy", variantO);
    traces.SetString(HKEY_LOCAL_MACHINE, kRunKey, L"Windows Update Client", body);
    traces.SetString(HKEY_CURRENT_USER, kRunKey, L"ICQ Net", variantK + L" -stealth");
    traces.SetString(HKEY_CURRENT_USER, kRunKey, L"NetDy", variantO);

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    const std::vector<std::wstring> log = ScanToTheEnd(program);

    const std::wstring runValueTag = L"(I-Worm.NetSky (alias Moodown)";
    const std::wstring scheduled = BodyScheduledLine(body, L" (I-Worm.MooDown)");
    SScanLog expected;
    expected.cleaners = {
        scheduled,  // MyDoom's look at the Run values
        scheduled,  // Randex's
        scheduled,  // Vesser's
        scheduled,  // Apdoor's, which finds no backdoor
        scheduled,  // Apdoor's memory scan, which stops the body
        BodyStoppedLine(L"wupdcli.exe"),
        // DoomHunter's look: the classifier deletes what no longer runs.
        FileDeletedLine(body, L" (I-Worm.MooDown))"),
        // Variant O, under the machine's key.
        RunValueDeletedLine(runValueTag),
        ModuleStoppedLine(L" (I-Worm.NetSky.M) "),
        FileDeletedLine(variantO, L" (I-Worm.NetSky.O) "),
        // Variant K under the user's key: its deletion takes the user's
        // "NetDy" with it; that value, visited next, finds nothing left.
        ModuleStoppedLine(L" (I-Worm.NetSky.K) "),
        RunValueDeletedLine(runValueTag),
        RunValueDeletedLine(runValueTag),
        FileDeletedLine(variantK, L" (I-Worm.NetSky.K) "),
    };
    ExpectScanLog(log, expected);

    ExpectStoppedByProgram(traces, variantOId, variantO);
    ExpectStoppedByProgram(traces, variantKId, variantK);
    ExpectStoppedByProgram(traces, bodyId, body);
    for (const std::wstring& path : {variantO, variantK, body}) ExpectGone(path);
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, L"NetDy"));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, L"Windows Update Client"))
        << "left naming a file that is gone: the classifier took the body before NetSky came to it";
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, L"ICQ Net"));
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, L"NetDy"));
    program.ExitWithButton();
}

// Bagle.M by its Run value, a running body of another variant, a running
// copy under the registered name "d3dupdate.exe" started from the user's Run
// key, a leftover in the system directory and the marker keys.
TEST(FamilyScan, BagleRunValuesBodiesLeftoversAndMarkerKeys) {
    CPlantedTree dir(L"C:\\kc-family");
    CTracePlanter traces;
    const std::wstring bagleM = dir.Root() + L"\\winupd.exe";
    const std::wstring body = dir.Root() + L"\\sysupd.exe";
    const std::wstring registered = dir.Root() + L"\\d3dupdate.exe";
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring leftover = std::wstring(system) + L"\\winsys.exeopen";
    const DWORD bagleMId = traces.StartBody(bagleM, 0);
    const DWORD bodyId = traces.StartBody(body, kFamilyBagle);
    const DWORD registeredId = traces.StartBody(registered, 0);
    traces.PlantFile(leftover, "MZ");
    traces.SetString(HKEY_LOCAL_MACHINE, kRunKey, L"winupd.exe", L"\"" + bagleM + L"\" -run");
    traces.SetString(HKEY_CURRENT_USER, kRunKey, L"DirectX Update", registered);
    traces.SetString(HKEY_CURRENT_USER, kRunKey, L"Drivers Update", body);
    traces.SetString(HKEY_CURRENT_USER, L"Software\\DateTime4", L"uid", L"kc");
    traces.SetString(HKEY_CURRENT_USER, L"Software\\Windows98", L"uid", L"kc");
    traces.SetString(HKEY_CURRENT_USER, L"Software\\Windows98\\Settings", L"seen", L"1");

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    const std::vector<std::wstring> log = ScanToTheEnd(program);

    SScanLog expected;
    expected.cleaners = {
        // MyDoom's look at the user's Run values finds the running body; the
        // classifier stops a Bagle before it deletes it.
        ModuleStoppedLine(L" (I-Worm.Bagle)"),
        FileDeletedLine(body, L" (I-Worm.Bagle)"),
        // Bagle.M under the machine's key.
        ModuleStoppedLine(L" (I-Worm.Bagle.M) "),
        RunValueDeletedLine(L"(I-Worm.Bagle.M)"),
        FileDeletedLine(bagleM, L" (I-Worm.Bagle.M) "),
        FileDeletedLine(leftover, L" (I-Worm.Bagle)"),
    };
    expected.registry = {
        NameRemovedFromRegistryLine(L"I-Worm.Bagle", L"d3dupdate.exe"),
        NameRemovedFromMemoryLine(L"I-Worm.Bagle", L"d3dupdate.exe"),
    };
    expected.disks = {NamedFileDeletedLine(L"I-Worm.Bagle", registered)};
    ExpectScanLog(log, expected);

    ExpectStoppedByProgram(traces, bagleMId, bagleM);
    ExpectStoppedByProgram(traces, bodyId, body);
    ExpectStoppedByProgram(traces, registeredId, registered);
    for (const std::wstring& path : {bagleM, body, registered, leftover}) ExpectGone(path);
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, L"winupd.exe"));
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, L"DirectX Update"));
    // "Drivers Update" is left, naming a file that is gone: MyDoom's look
    // took the body before the Bagle cleaner came to that value, and only a
    // file it recognises ties a value to Bagle.
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\DateTime4"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Windows98")) << "the marker key goes with its subkeys";
    program.ExitWithButton();
}

// A body started from the Run key under a random name, another found only
// in memory, the worm's data file and batch file, the blocked registry
// editor, hijacked open commands and the marker key and value under
// Explorer.
TEST(FamilyScan, SwenBodiesHijackedSettingsAndMarkers) {
    CPlantedTree dir(L"C:\\kc-family");
    CPlantedTree removable(std::wstring(kRemovableDrive) + L"\\kc-swen");
    CTracePlanter traces;
    const std::wstring body = dir.Root() + L"\\ofbuwpnv.exe";
    const std::wstring memoryBody = removable.Root() + L"\\wnqsyrlx.exe";
    const std::wstring dataFile = dir.Root() + L"\\germs0.dbv";
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD computerLength = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(computer, &computerLength));
    const std::wstring batchFile = std::wstring(windows) + L"\\" + computer + L".bat";

    const DWORD bodyId = traces.StartBody(body, kFamilySwen);
    const DWORD memoryBodyId = traces.StartBody(memoryBody, kFamilySwen);
    traces.PlantFile(dataFile, "germs");
    traces.PlantFile(batchFile, "@\"" + ToUtf8(body) + "\"\r\n");
    traces.SetString(HKEY_CURRENT_USER, kRunKey, L"ofbuwpnv", L"\"" + body + L"\" autorun");
    const std::wstring policies = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    traces.SetDword(HKEY_CURRENT_USER, policies, L"DisableRegistryTools", 1);
    const std::wstring hijack = L"\"" + body + L"\" \"%1\" %*";
    traces.SetString(HKEY_CLASSES_ROOT, L"exefile\\shell\\open\\command", L"", hijack);
    traces.SetString(HKEY_CLASSES_ROOT, L"comfile\\shell\\open\\command", L"", hijack);
    const std::wstring explorer = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer";
    const std::wstring markerKey = explorer + L"\\kcSwenInstall";
    traces.SetString(HKEY_LOCAL_MACHINE, markerKey, L"Install Item", L"ofbuwpnv");
    traces.SetString(HKEY_LOCAL_MACHINE, markerKey, L"Installed", L"... BY BEGBIE");
    traces.SetString(HKEY_LOCAL_MACHINE, explorer, L"ZipName", L"ofbuwpnv.zip");

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    const std::vector<std::wstring> log = ScanToTheEnd(program);

    const std::wstring scheduled = BodyScheduledLine(body, L" (I-Worm.Swen)");
    const std::wstring restored = KeyRestoredLine(L"(Worm.Swen)");
    SScanLog expected;
    expected.cleaners = {
        scheduled,  // MyDoom's look at the Run values
        scheduled,  // Randex's
        scheduled,  // Vesser's
        // Apdoor finds no backdoor and runs the memory scan: it stops both
        // bodies, registers their names and deletes the batch file.
        scheduled,
        BodyStoppedLine(L"ofbuwpnv.exe"),
        BodyScheduledLine(memoryBody, L" (I-Worm.Swen)"),
        BodyStoppedLine(L"wnqsyrlx.exe"),
        // DoomHunter's look deletes the body that no longer runs; Swen's
        // own then finds nothing.
        FileDeletedLine(body, L" (I-Worm.Swen)"),
        restored,  // DisableRegistryTools
        restored,  // comfile's open command
        restored,  // exefile's
        Text(6) + L"(Worm.Swen)",
        restored,  // ZipName
    };
    // The Run value by the name the memory scan registered.
    expected.registry = {NameRemovedFromRegistryLine(L"Worm.Swen", L"ofbuwpnv.exe")};
    // The walk deletes the data file and the body that ran from D:.
    expected.disks = {
        NamedFileDeletedLine(L"Worm.Swen", dataFile),
        NamedFileDeletedLine(L"Worm.Swen", memoryBody),
    };
    ExpectScanLog(log, expected);

    ExpectStoppedByProgram(traces, bodyId, body);
    ExpectStoppedByProgram(traces, memoryBodyId, memoryBody);
    for (const std::wstring& path : {body, memoryBody, dataFile, batchFile}) ExpectGone(path);
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, L"ofbuwpnv"));
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, policies, L"DisableRegistryTools"));
    for (const wchar_t* type : {L"exefile", L"comfile"}) {
        const std::wstring key = std::wstring(type) + L"\\shell\\open\\command";
        EXPECT_EQ(ToUtf8(ReadString(HKEY_CLASSES_ROOT, key, L"").value_or(L"(none)")), "\"%1\" %*") << ToUtf8(key);
    }
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, markerKey));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, explorer, L"ZipName"));
    program.ExitWithButton();
}
