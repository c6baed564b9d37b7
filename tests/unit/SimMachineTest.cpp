#include <gtest/gtest.h>

#include "TestMachine.h"

namespace {

std::vector<std::string> List(CSimMachine& m, const std::string& pattern, std::int32_t* errorOut = nullptr) {
    std::vector<std::string> names;
    FindData d;
    std::int32_t error = 0;
    const FindHandle h = m.FindFirst(pattern, d, error);
    if (errorOut) *errorOut = error;
    if (h == kInvalidFind) return names;
    do names.push_back(d.name);
    while (m.FindNext(h, d));
    m.FindEnd(h);
    return names;
}

}  // namespace

TEST(SimRegistry, NamesIgnoreCaseAndBuffersBehaveLikeTheSystem) {
    CSimMachine m;
    m.PutString(winroot::kLocalMachine, "Software\\Test", "Value", "abc");
    RegKey key = 0;
    ASSERT_EQ(m.OpenKey(winroot::kLocalMachine, "SOFTWARE\\TEST", key), ERROR_SUCCESS);
    std::uint8_t buf[8] = {};
    std::uint32_t type = 0, size = 3;
    EXPECT_EQ(m.QueryValue(key, "VALUE", &type, buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u) << "the size needed, terminator included";
    size = sizeof buf;
    EXPECT_EQ(m.QueryValue(key, "value", &type, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "abc");
    EXPECT_EQ(m.QueryValue(key, "missing", &type, buf, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(m.CloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(m.CloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(m.OpenKey(winroot::kLocalMachine, "Software\\Missing", key), ERROR_FILE_NOT_FOUND);
}

TEST(SimRegistry, ClassesRootIsTheMachinesClassesKey) {
    CSimMachine m;
    m.PutString(winroot::kClassesRoot, "exefile\\shell\\open\\command", "", "\"%1\" %*");
    EXPECT_TRUE(m.HasKey(winroot::kLocalMachine, "Software\\Classes\\exefile\\shell\\open\\command"));
}

TEST(SimFiles, ListsLikeTheSystemAndStaysInsideItsDrives) {
    CTempDir root;
    root.WriteFile("b.txt");
    root.WriteFile("A.TXT");
    root.WriteFile("Dir/x.txt");
    CSimMachine m;
    m.MapDrive('C', DRIVE_FIXED, root.Path());
    EXPECT_EQ(List(m, "C:\\*.*"), (std::vector<std::string>{"A.TXT", "b.txt", "Dir"}));
    EXPECT_EQ(List(m, "c:\\DIR\\*.*"), (std::vector<std::string>{".", "..", "x.txt"}));
    std::int32_t error = 0;
    EXPECT_TRUE(List(m, "C:\\nope\\*.*", &error).empty());
    EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(List(m, "C:\\Dir\\..\\..\\*.*", &error).empty()) << "never above the drive's directory";
    EXPECT_TRUE(List(m, "Q:\\*.*", &error).empty());

    m.MapDrive('Z', DRIVE_FIXED, "/");
    EXPECT_EQ(m.DriveType("Z:"), DRIVE_NO_ROOT_DIR) << "the host root is never a drive";
}

TEST(SimFiles, DriveStringsFollowTheSystemsBufferRule) {
    CSimMachine m;
    m.MapDrive('C', DRIVE_FIXED, "");
    m.MapDrive('d', DRIVE_CDROM, "");
    char buf[16];
    std::fill(std::begin(buf), std::end(buf), 'x');
    EXPECT_EQ(m.LogicalDriveStrings(sizeof buf, buf), 8u);
    EXPECT_EQ(std::string(buf, 9), std::string("C:\\\0D:\\\0\0", 9));
    EXPECT_EQ(m.LogicalDriveStrings(8, buf), 9u) << "too small: the size needed, terminator included";
    EXPECT_EQ(m.DriveType("D:"), DRIVE_CDROM);
}

TEST(SimFaults, FailTheNthMatchingCallOnceOrFromThenOn) {
    CSimMachine m;
    m.PutString(winroot::kLocalMachine, "K", "v", "x");
    RegKey key = 0;
    m.FailCall("OpenKey", "k", ERROR_ACCESS_DENIED, 2, false);
    EXPECT_EQ(m.OpenKey(winroot::kLocalMachine, "K", key), ERROR_SUCCESS);
    EXPECT_EQ(m.OpenKey(winroot::kLocalMachine, "K", key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(m.OpenKey(winroot::kLocalMachine, "K", key), ERROR_SUCCESS);
    m.ClearFaults();
    m.FailCall("OpenKey", "", ERROR_ACCESS_DENIED, 1, true);
    EXPECT_EQ(m.OpenKey(winroot::kLocalMachine, "K", key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(m.OpenKey(winroot::kLocalMachine, "other", key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(m.FaultsFired(), 2);
}
