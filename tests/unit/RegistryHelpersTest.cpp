#include <gtest/gtest.h>

#include "TestMachine.h"

namespace {

const RegKey HKLM = winroot::kLocalMachine;
const RegKey HKCU = winroot::kCurrentUser;
const char* const kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kMessage = "Klucz rejestru został przywrócony (Worm.Test)";

std::string Text(CSimMachine& m, RegKey root, const std::string& key, const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!m.GetValue(root, key, name, type, data)) return "<missing>";
    std::string s(data.begin(), data.end());
    return s.substr(0, s.find('\0'));
}

}  // namespace

TEST(ReadRegistryValues, ListsNamesAndDataUntilTheFirstValueThatDoesNotFit) {
    CTestMachine t;
    t.machine.PutString(HKLM, kRun, "a", "C:\\a.exe");
    t.machine.PutString(HKLM, kRun, "b", "");
    t.machine.PutString(HKLM, kRun, "long", std::string(300, 'x'));
    t.machine.PutString(HKLM, kRun, "after", "never seen");
    std::vector<std::string> values{kRun};
    t.dlg->ReadRegistryValues(values, 0);
    EXPECT_EQ(values, (std::vector<std::string>{"a", "C:\\a.exe", "b", ""}));

    values = {kRun};
    t.dlg->ReadRegistryValues(values, 1);
    EXPECT_TRUE(values.empty()) << "HKCU has no such key";
}

TEST(ReadRegistryValues, ReadsOneValueOrAnEmptyElement) {
    CTestMachine t;
    t.machine.PutString(HKCU, "K", "v", "data");
    t.machine.PutString(HKCU, "K", "big", std::string(260, 'x'));  // 261 bytes with its terminator
    struct Row {
        const char* value;
        std::vector<std::string> expected;
    };
    const Row rows[] = {{"v", {"data"}}, {"V", {"data"}}, {"missing", {""}}, {"big", {""}}};
    for (const Row& r : rows) {
        std::vector<std::string> values{"K", r.value};
        t.dlg->ReadRegistryValues(values, 1);
        EXPECT_EQ(values, r.expected) << r.value;
    }
    std::vector<std::string> three{"K", "v", "extra"};
    t.dlg->ReadRegistryValues(three, 1);
    EXPECT_TRUE(three.empty());
    std::vector<std::string> empty{"K"};
    t.machine.PutString(HKCU, "Empty\\Sub", "x", "y");
    empty = {"Empty"};
    t.dlg->ReadRegistryValues(empty, 1);
    EXPECT_TRUE(empty.empty()) << "a key without values";
}

class DeleteKeyTree : public testing::TestWithParam<std::uint32_t> {};

TEST_P(DeleteKeyTree, RemovesANestedTreeOnBothFamilies) {
    CTestMachine t(GetParam());
    for (const char* k : {"P\\Worm\\a\\x\\y", "P\\Worm\\b", "P\\Worm\\c\\z", "P\\Worm\\d"})
        t.machine.PutString(HKLM, k, "v", "1");
    t.machine.PutString(HKLM, "P\\Keep", "v", "1");
    EXPECT_TRUE(t.dlg->DeleteKeyTree(HKLM, "P", "Worm"));
    EXPECT_FALSE(t.machine.HasKey(HKLM, "P\\Worm"));
    EXPECT_TRUE(t.machine.HasKey(HKLM, "P\\Keep"));
    EXPECT_EQ(t.view.Log().size(), 8u) << "key deletions write no line";
}

INSTANTIATE_TEST_SUITE_P(Families, DeleteKeyTree,
                         testing::Values(VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS));

TEST(DeleteKeyTreeEdges, MissingParentMissingKeyAndAnUndeletableKey) {
    CTestMachine t;
    EXPECT_TRUE(t.dlg->DeleteKeyTree(HKLM, "No\\Such", "Key")) << "nothing to delete";
    t.machine.PutString(HKLM, "P\\Other", "v", "1");
    EXPECT_FALSE(t.dlg->DeleteKeyTree(HKLM, "P", "Missing"));

    t.machine.PutString(HKLM, "P\\Locked\\Child", "v", "1");
    t.machine.FailCall("DeleteKey", "Child", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(t.dlg->DeleteKeyTree(HKLM, "P", "Locked")) << "ends instead of retrying without end";
    EXPECT_TRUE(t.machine.HasKey(HKLM, "P\\Locked\\Child"));
}

// --- RestoreRegistryValues -------------------------------------------------

struct RestoreCase {
    const char* name;
    std::uint32_t platform;
    const char* current;  // nullptr: the value is missing
    const char* wanted;
    const char* after;
    int lines;
};

class RestoreRegistryValues : public testing::TestWithParam<RestoreCase> {};

TEST_P(RestoreRegistryValues, WritesOnlyWhatDiffersAndLogsOnlyWhatHappened) {
    const RestoreCase& c = GetParam();
    CTestMachine t(c.platform);
    const char* const key = "exefile\\shell\\open\\command";
    if (c.current) t.machine.PutString(winroot::kClassesRoot, key, "", c.current);
    else t.machine.PutString(winroot::kClassesRoot, key, "other", "x");
    t.dlg->RestoreRegistryValues(winroot::kClassesRoot, {"exefile\\shell\\open", "command", "", c.wanted}, kMessage,
                                 REG_SZ);
    EXPECT_EQ(Text(t.machine, winroot::kClassesRoot, key, ""), c.after);
    EXPECT_EQ(Lines(t).size(), static_cast<std::size_t>(c.lines));
    if (c.lines) {
        EXPECT_EQ(Lines(t)[0], "   " + kMessage);
        const Finding f = t.view.Findings().at(0);
        EXPECT_EQ(f.kind, ActionKind::RegistryValueRestored);
        EXPECT_EQ(f.family, "Worm.Test");
        EXPECT_EQ(f.target, "HKEY_CLASSES_ROOT\\exefile\\shell\\open\\command\\");
    }
}

const std::string k259(259, 'y');
const std::string k260(260, 'y');
const RestoreCase kRestoreCases[] = {
    {"Hijacked", VER_PLATFORM_WIN32_NT, "C:\\w.exe \"%1\" %*", "\"%1\" %*", "\"%1\" %*", 1},
    {"HijackedOn9x", VER_PLATFORM_WIN32_WINDOWS, "C:\\w.exe \"%1\" %*", "\"%1\" %*", "\"%1\" %*", 1},
    {"EqualUpToCase", VER_PLATFORM_WIN32_NT, "\"%1\" %*", "\"%1\" %*", "\"%1\" %*", 0},
    {"EqualIgnoringCase", VER_PLATFORM_WIN32_NT, "ABC", "abc", "ABC", 0},
    {"MissingIsNotCreated", VER_PLATFORM_WIN32_NT, nullptr, "\"%1\" %*", "<missing>", 0},
    {"Just259BytesIsRestored", VER_PLATFORM_WIN32_NT, k259.c_str(), "x", "x", 1},
    {"TooLongToReadIsLeft", VER_PLATFORM_WIN32_NT, k260.c_str(), "x", k260.c_str(), 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, RestoreRegistryValues, testing::ValuesIn(kRestoreCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RestoreRegistryValuesTable, DeletesValuesAndKeysByRootIndexAndIgnoresATrailingPart) {
    CTestMachine t;
    t.machine.PutString(HKCU, kRun, "worm", "C:\\w.exe");
    t.machine.PutString(HKCU, kRun, "keep", "C:\\k.exe");
    t.machine.PutString(HKLM, "Software\\Worm\\Sub", "v", "1");
    const std::vector<std::string> table = {
        "Software\\Microsoft\\Windows\\CurrentVersion", "Run", "worm", "",     // delete a value
        "Software\\Microsoft\\Windows\\CurrentVersion", "Run", "absent", "",   // missing: no line
        "Software", "Missing", "v", "x",                                       // key missing: skipped
        "Software\\Microsoft\\Windows\\CurrentVersion", "Run", "keep"};        // incomplete: ignored
    EXPECT_EQ(t.dlg->RestoreRegistryValues(1, table, kMessage, 0), 1);
    EXPECT_EQ(Text(t.machine, HKCU, kRun, "worm"), "<missing>");
    EXPECT_EQ(Text(t.machine, HKCU, kRun, "keep"), "C:\\k.exe");
    EXPECT_EQ(Lines(t), std::vector<std::string>{"   " + kMessage});
    EXPECT_EQ(t.view.Findings().at(0).kind, ActionKind::RegistryValueDeleted);

    t.dlg->RestoreRegistryValues(0, {"Software", "Worm", "", ""}, kMessage, 0);
    EXPECT_FALSE(t.machine.HasKey(HKLM, "Software\\Worm"));
    EXPECT_EQ(Lines(t).size(), 1u) << "a key deletion writes no line";
}

TEST(RestoreRegistryValuesTable, AFailedWriteWritesNoLine) {
    CTestMachine t;
    t.machine.PutString(HKLM, "K", "v", "bad");
    t.machine.FailCall("SetValue", "v", ERROR_ACCESS_DENIED);
    t.dlg->RestoreRegistryValues(HKLM, {"", "K", "v", "good"}, kMessage, REG_SZ);
    EXPECT_EQ(Text(t.machine, HKLM, "K", "v"), "bad");
    EXPECT_TRUE(Lines(t).empty());
}

TEST(RestoreRegistryValuesTable, NamedValueOn9xIsRestoredInPlace) {
    CTestMachine t(VER_PLATFORM_WIN32_WINDOWS);
    const char* const winlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    t.machine.PutString(HKLM, winlogon, "Shell", "Explorer.exe C:\\WINDOWS\\worm.exe");
    t.dlg->RestoreRegistryValues(HKLM, {"Software\\Microsoft\\Windows NT\\CurrentVersion", "Winlogon", "Shell",
                                        "Explorer.exe"},
                                 kMessage, REG_SZ);
    EXPECT_EQ(Text(t.machine, HKLM, winlogon, "Shell"), "Explorer.exe");
    EXPECT_FALSE(t.machine.HasKey(HKLM, std::string(winlogon) + "\\Shell")) << "no subkey stands in for the value";
    EXPECT_EQ(Lines(t), std::vector<std::string>{"   " + kMessage});
}

// --- ExpandSystemDirs --------------------------------------------------------

struct ExpandCase {
    const char* in;
    const char* out;
    bool result;
};

class ExpandSystemDirs : public testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandSystemDirs, ReplacesTheFirstLowerCaseToken) {
    CTestMachine t;
    std::string path = GetParam().in;
    EXPECT_EQ(t.dlg->ExpandSystemDirs(path), GetParam().result);
    EXPECT_EQ(path, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpandSystemDirs,
    testing::Values(ExpandCase{"%systemroot%\\w.exe", "C:\\WINDOWS\\w.exe", true},
                    ExpandCase{"%system%\\w.exe", "C:\\WINDOWS\\System32\\w.exe", true},
                    ExpandCase{"x%system%y%system%", "xC:\\WINDOWS\\System32y%system%", true},
                    ExpandCase{"%systemroot%\\%system%", "C:\\WINDOWS\\%system%", true},
                    ExpandCase{"%SYSTEMROOT%\\w.exe", "%SYSTEMROOT%\\w.exe", false},
                    ExpandCase{"%windir%\\w.exe", "%windir%\\w.exe", false},
                    ExpandCase{"C:\\w.exe", "C:\\w.exe", true}, ExpandCase{"", "", true}));
