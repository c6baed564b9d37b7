#include "ConformanceSuite.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "RecordingView.h"
#include "app/CleanerDlg.h"
#include "sys/ProcessList.h"
#include "sys/Text.h"

namespace {

const RegKey HKCU = winroot::kCurrentUser;

std::vector<std::uint8_t> Sz(const std::string& s) {
    std::vector<std::uint8_t> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

// Creates root\path and sets a string value in it.
void Put(IPlatform& p, const std::string& path, const std::string& name, const std::string& text) {
    RegKey key = 0;
    ASSERT_EQ(p.CreateKey(HKCU, path, key), ERROR_SUCCESS) << path;
    const auto data = Sz(text);
    ASSERT_EQ(p.SetValue(key, name, REG_SZ, data.data(), static_cast<std::uint32_t>(data.size())), ERROR_SUCCESS);
    p.CloseKey(key);
}

bool KeyExists(IPlatform& p, const std::string& path) {
    RegKey key = 0;
    if (p.OpenKey(HKCU, path, key) != ERROR_SUCCESS) return false;
    p.CloseKey(key);
    return true;
}

#define SKIP_IF_KNOWN_DEVIATION()                                                                          \
    do {                                                                                                   \
        std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();                \
        test = test.substr(0, test.find('/'));                                                             \
        const std::string why = Host().KnownDeviation(test);                                               \
        if (!why.empty()) GTEST_SKIP() << why;                                                             \
    } while (0)

}  // namespace

TEST_P(PlatformConformance, KeysOpenIgnoringCaseAndMissingOnesAreNotFound) {
    const std::string base = Host().ScratchKey();
    Put(P(), base + "\\Alpha", "v", "1");
    RegKey key = 0;
    EXPECT_EQ(P().OpenKey(HKCU, base + "\\ALPHA", key), ERROR_SUCCESS);
    P().CloseKey(key);
    EXPECT_EQ(P().OpenKey(HKCU, base + "\\Beta", key), ERROR_FILE_NOT_FOUND);
}

TEST_P(PlatformConformance, QueryAnswersTheSizeNeededWhenTheBufferIsShort) {
    const std::string base = Host().ScratchKey();
    Put(P(), base, "Value", "abcdef");
    RegKey key = 0;
    ASSERT_EQ(P().OpenKey(HKCU, base, key), ERROR_SUCCESS);
    std::uint8_t buf[16] = {};
    std::uint32_t type = 0, size = 6;
    EXPECT_EQ(P().QueryValue(key, "value", &type, buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 7u);
    size = 7;
    EXPECT_EQ(P().QueryValue(key, "VALUE", &type, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf)), "abcdef");
    size = sizeof buf;
    EXPECT_EQ(P().QueryValue(key, "missing", &type, buf, &size), ERROR_FILE_NOT_FOUND);
    P().CloseKey(key);
}

TEST_P(PlatformConformance, ValuesEnumerateInOrderUntilOneDoesNotFit) {
    const std::string base = Host().ScratchKey();
    Put(P(), base, "first", "1");
    Put(P(), base, "second", std::string(300, 'x'));
    Put(P(), base, std::string(259, 'n'), "3");
    Put(P(), base, std::string(260, 'm'), "4");
    RegKey key = 0;
    ASSERT_EQ(P().OpenKey(HKCU, base, key), ERROR_SUCCESS);
    std::string name;
    std::uint8_t data[260];
    std::uint32_t size = sizeof data;
    EXPECT_EQ(P().EnumValue(key, 0, name, 260, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(name, "first");
    EXPECT_EQ(size, 2u);
    size = sizeof data;
    EXPECT_EQ(P().EnumValue(key, 1, name, 260, nullptr, data, &size), ERROR_MORE_DATA) << "data of 301 bytes";
    size = sizeof data;
    EXPECT_EQ(P().EnumValue(key, 2, name, 260, nullptr, data, &size), ERROR_SUCCESS) << "a name of 259 fits";
    size = sizeof data;
    EXPECT_EQ(P().EnumValue(key, 3, name, 260, nullptr, data, &size), ERROR_MORE_DATA) << "a name of 260 does not";
    size = sizeof data;
    EXPECT_EQ(P().EnumValue(key, 4, name, 260, nullptr, data, &size), ERROR_NO_MORE_ITEMS);
    P().CloseKey(key);
}

TEST_P(PlatformConformance, SubkeysEnumerateInNameOrderIgnoringCase) {
    const std::string base = Host().ScratchKey();
    for (const char* k : {"delta", "Alpha", "charlie", "Bravo"}) Put(P(), base + "\\" + k, "v", "1");
    RegKey key = 0;
    ASSERT_EQ(P().OpenKey(HKCU, base, key), ERROR_SUCCESS);
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; P().EnumKey(key, i, name, 260) == ERROR_SUCCESS; ++i) names.push_back(name);
    P().CloseKey(key);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Bravo", "charlie", "delta"}));
}

TEST_P(PlatformConformance, DeletingAKeyWithSubkeysFollowsTheFamily) {
    SKIP_IF_KNOWN_DEVIATION();
    const std::string base = Host().ScratchKey();
    Put(P(), base + "\\Tree\\Leaf", "v", "1");
    RegKey parent = 0;
    ASSERT_EQ(P().OpenKey(HKCU, base, parent), ERROR_SUCCESS);
    const std::int32_t status = P().DeleteKey(parent, "Tree");
    P().CloseKey(parent);
    if (IsNT()) {
        EXPECT_EQ(status, ERROR_ACCESS_DENIED);
        EXPECT_TRUE(KeyExists(P(), base + "\\Tree\\Leaf"));
    } else {
        EXPECT_EQ(status, ERROR_SUCCESS) << "the 9x family deletes the subtree";
        EXPECT_FALSE(KeyExists(P(), base + "\\Tree"));
    }
}

TEST_P(PlatformConformance, DeleteKeyTreeRemovesANestedTreeEitherWay) {
    const std::string base = Host().ScratchKey();
    for (const char* k : {"\\W\\a\\b\\c", "\\W\\d", "\\W\\e\\f", "\\Keep"}) Put(P(), base + k, "v", "1");
    CRecordingView view;
    CCleanerDlg dlg(P(), view);
    dlg.OnInitDialog();
    EXPECT_TRUE(dlg.DeleteKeyTree(HKCU, base, "W"));
    EXPECT_FALSE(KeyExists(P(), base + "\\W"));
    EXPECT_TRUE(KeyExists(P(), base + "\\Keep"));
}

TEST_P(PlatformConformance, ValuesAreDeletedOnceAndDefaultsSetThroughTheOldCall) {
    const std::string base = Host().ScratchKey();
    Put(P(), base, "gone", "x");
    RegKey key = 0;
    ASSERT_EQ(P().OpenKey(HKCU, base, key), ERROR_SUCCESS);
    EXPECT_EQ(P().DeleteValue(key, "GONE"), ERROR_SUCCESS);
    EXPECT_EQ(P().DeleteValue(key, "gone"), ERROR_FILE_NOT_FOUND);
    const auto text = Sz("\"%1\" %*");
    EXPECT_EQ(P().SetKeyDefault(key, "shell\\open\\command", REG_SZ, text.data(),
                                static_cast<std::uint32_t>(text.size())),
              ERROR_SUCCESS);
    P().CloseKey(key);
    ASSERT_EQ(P().OpenKey(HKCU, base + "\\shell\\open\\command", key), ERROR_SUCCESS);
    std::uint8_t buf[32] = {};
    std::uint32_t type = 0, size = sizeof buf;
    EXPECT_EQ(P().QueryValue(key, "", &type, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf)), "\"%1\" %*");
    EXPECT_EQ(type, REG_SZ);
    P().CloseKey(key);
}

TEST_P(PlatformConformance, AHandleToADeletedKeyAnswersKeyDeleted) {
    const std::string base = Host().ScratchKey();
    Put(P(), base + "\\Doomed", "v", "1");
    RegKey doomed = 0, parent = 0;
    ASSERT_EQ(P().OpenKey(HKCU, base + "\\Doomed", doomed), ERROR_SUCCESS);
    ASSERT_EQ(P().OpenKey(HKCU, base, parent), ERROR_SUCCESS);
    EXPECT_EQ(P().DeleteKey(parent, "Doomed"), ERROR_SUCCESS);
    std::uint8_t buf[8];
    std::uint32_t size = sizeof buf;
    EXPECT_EQ(P().QueryValue(doomed, "v", nullptr, buf, &size), ERROR_KEY_DELETED);
    P().CloseKey(doomed);
    P().CloseKey(parent);
}

TEST_P(PlatformConformance, ProcessesAreListedOpenedAndEnded) {
    const std::uint32_t id = Host().StartProcess("conformance", "msblast.exe");
    ASSERT_NE(id, 0u);
    std::vector<SnapshotProcess> snapshot;
    ASSERT_EQ(P().ProcessSnapshot(snapshot), ERROR_SUCCESS);
    auto it = std::find_if(snapshot.begin(), snapshot.end(), [&](const auto& s) { return s.processId == id; });
    ASSERT_NE(it, snapshot.end());
    if (IsNT() || !Host().KnownDeviation("SnapshotPathOn9x").empty()) {
        EXPECT_TRUE(EqualsNoCase(it->exeFile, "msblast.exe")) << it->exeFile;
    } else {
        EXPECT_TRUE(EqualsNoCase(it->exeFile, Host().ExecutablePath("conformance", "msblast.exe"))) << it->exeFile;
    }

    ProcessHandle h = 0;
    ASSERT_EQ(P().OpenProcess(0x410, id, h), ERROR_SUCCESS);
    std::string path;
    const std::int32_t moduleStatus = P().FirstModuleFileName(h, path);
    if (IsNT() || !Host().KnownDeviation("ModulePathOn9x").empty()) {
        EXPECT_EQ(moduleStatus, ERROR_SUCCESS);
        EXPECT_TRUE(EqualsNoCase(path, Host().ExecutablePath("conformance", "msblast.exe"))) << path;
    } else {
        EXPECT_NE(moduleStatus, ERROR_SUCCESS) << "no process-status library on 9x";
    }
    P().CloseProcess(h);

    ASSERT_EQ(P().OpenProcess(0x1F0FFF, id, h), ERROR_SUCCESS);
    EXPECT_EQ(P().TerminateProcess(h, 1), ERROR_SUCCESS);
    EXPECT_TRUE(Host().HasEnded(id));
    P().CloseProcess(h);
    EXPECT_NE(P().OpenProcess(0x1F0FFF, 0xFFFFFFFE, h), ERROR_SUCCESS) << "no process has the id of Idle";
}

TEST_P(PlatformConformance, KillProcessByNameStopsByNameAndByFullPath) {
    const std::uint32_t byName = Host().StartProcess("worm", "msblast.exe");
    const std::uint32_t byPath = Host().StartProcess("worm", "bildschirm.scr");
    const std::uint32_t twin = Host().StartProcess("elsewhere", "bildschirm.scr");
    ASSERT_TRUE(byName && byPath && twin);
    CRecordingView view;
    CCleanerDlg dlg(P(), view);
    dlg.OnInitDialog();
    const std::string line = "Moduł wirusa został usunięty z pamięci (Worm.Test)";
    dlg.KillProcessByName({"MSBLAST.EXE", line}, false);
    dlg.KillProcessByName({Host().ExecutablePath("worm", "bildschirm.scr"), line}, true);
    EXPECT_TRUE(Host().HasEnded(byName));
    EXPECT_TRUE(Host().HasEnded(byPath));
    EXPECT_FALSE(Host().HasEnded(twin)) << "the same name in another folder survives";
    const auto log = view.Log();
    ASSERT_EQ(log.size(), 10u);
    EXPECT_EQ(log[8], "   " + line);
    EXPECT_EQ(log[9], "   " + line);
}

TEST_P(PlatformConformance, ProfileEntriesAreWrittenAndReadBackIgnoringCase) {
    const std::string ini = Host().ScratchIniFile();
    std::string text;
    EXPECT_EQ(P().GetProfileText(ini, "windows", "load", text, 260), 0u) << "no file yet";
    EXPECT_EQ(text, "");
    ASSERT_EQ(P().WriteProfileText(ini, "windows", "load", "C:\\w\\worm.exe"), ERROR_SUCCESS);
    ASSERT_EQ(P().WriteProfileText(ini, "boot", "shell", "Explorer.exe worm.exe"), ERROR_SUCCESS);
    EXPECT_EQ(P().GetProfileText(ini, "WINDOWS", "Load", text, 260), 13u);
    EXPECT_EQ(text, "C:\\w\\worm.exe");
    EXPECT_EQ(P().GetProfileText(ini, "windows", "run", text, 260), 0u);
    EXPECT_EQ(P().GetProfileText(ini, "boot", "shell", text, 9), 8u) << "cut to the buffer";
    EXPECT_EQ(text, "Explorer");
    ASSERT_EQ(P().WriteProfileText(ini, "windows", "load", "explorer.exe"), ERROR_SUCCESS);
    EXPECT_EQ(P().GetProfileText(ini, "windows", "load", text, 260), 12u);
    EXPECT_EQ(text, "explorer.exe");
}

TEST_P(PlatformConformance, AFolderKeepsItsIdentityHoweverItsPathIsWritten) {
    const std::string ini = Host().ScratchIniFile();
    ASSERT_EQ(P().WriteProfileText(ini, "windows", "load", "x"), ERROR_SUCCESS);
    const std::string dir = ini.substr(0, ini.rfind('\\'));
    FolderId a, b, root;
    if (!IsNT() && Host().KnownDeviation("FolderIdentityOn9x").empty()) {
        EXPECT_NE(P().FolderIdentity(dir, a), ERROR_SUCCESS) << "the 9x family opens no folder";
        return;
    }
    ASSERT_EQ(P().FolderIdentity(dir, a), ERROR_SUCCESS);
    std::string upper = dir;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_EQ(P().FolderIdentity(upper + "\\", b), ERROR_SUCCESS);
    EXPECT_TRUE(a == b);
    ASSERT_EQ(P().FolderIdentity(dir.substr(0, 3), root), ERROR_SUCCESS);
    EXPECT_FALSE(a == root);
    EXPECT_NE(P().FolderIdentity(dir + "\\no such folder", b), ERROR_SUCCESS);
}

TEST_P(PlatformConformance, ComputerHasAName) {
    std::string name;
    ASSERT_TRUE(P().ComputerName(name));
    EXPECT_FALSE(name.empty());
}

TEST_P(PlatformConformance, EnvironmentExpandsIgnoringCaseAndLeavesUnknownNames) {
    std::string temp;
    const std::uint32_t needed = P().ExpandEnvironment("%TEMP%", temp, 260);
    ASSERT_GT(needed, 1u);
    EXPECT_EQ(needed, temp.size() + 1) << "the size counts the terminator";
    EXPECT_EQ(temp.find('%'), std::string::npos) << temp;
    std::string lower;
    P().ExpandEnvironment("%temp%", lower, 260);
    EXPECT_EQ(lower, temp);

    // Too small a buffer: the size needed, and nothing written.
    std::string untouched = "before";
    EXPECT_EQ(P().ExpandEnvironment("%TEMP%", untouched, 2), needed);
    EXPECT_EQ(untouched, "before");

    std::string unknown;
    const std::string text = "%KC_NO_SUCH_VARIABLE_7Q%\\x";
    EXPECT_EQ(P().ExpandEnvironment(text, unknown, 260), text.size() + 1);
    EXPECT_EQ(unknown, text);
}

TEST_P(PlatformConformance, CacheEntriesAreListedAndDeletedOneByOne) {
    const std::string page = "http://www.kestro.example/conformance/page.htm";
    ASSERT_TRUE(Host().AddCacheEntry(page, false));
    ASSERT_TRUE(Host().AddCacheEntry("Cookie:tester@kestro.example/", true));

    // A buffer too small for any entry: the size needed comes back.
    CacheEntry entry;
    std::uint32_t needed = 0;
    CacheHandle find = 0;
    EXPECT_EQ(P().CacheFindFirst(16, entry, needed, find), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_GT(needed, 16u);
    if (find) P().CacheFindClose(find);

    bool sawPage = false, sawCookie = false;
    std::int32_t status = P().CacheFindFirst(65536, entry, needed, find);
    for (int guard = 0; status == ERROR_SUCCESS && guard < 10000; ++guard) {
        if (entry.sourceUrl == page) sawPage = true;
        if ((entry.entryType & 0x00100000) && entry.sourceUrl.find("kestro.example") != std::string::npos) {
            sawCookie = true;
        }
        // The next entry does not fit either: its size comes back, and a
        // buffer of exactly that size fetches that same entry.
        needed = 0;
        status = P().CacheFindNext(find, 16, entry, needed);
        if (status != ERROR_INSUFFICIENT_BUFFER) break;
        EXPECT_GT(needed, 16u);
        status = P().CacheFindNext(find, needed, entry, needed);
        EXPECT_EQ(status, ERROR_SUCCESS);
    }
    EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
    if (find) P().CacheFindClose(find);
    EXPECT_TRUE(sawPage);
    EXPECT_TRUE(sawCookie);
    EXPECT_EQ(P().CacheDeleteEntry(page), ERROR_SUCCESS);
    EXPECT_NE(P().CacheDeleteEntry(page), ERROR_SUCCESS) << "gone already";
}
