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

TEST(SimFileIo, WindowsRulesForDeletingReadingAndReplacing) {
    CTempDir root;
    root.WriteFile("ro.txt", "r");
    root.WriteFile("open.txt", "0123456789");
    root.WriteFile("run.exe", "MZ");
    root.WriteFile("old.htm", "old");
    root.WriteFile("new.tmp", "new");
    CSimMachine m;
    m.MapDrive('C', DRIVE_FIXED, root.Path());

    ASSERT_EQ(m.SetAttributes("C:\\ro.txt", FILE_ATTRIBUTE_READONLY), ERROR_SUCCESS);
    EXPECT_EQ(m.RemoveFile("C:\\RO.TXT"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(m.GetAttributes("c:\\ro.txt"), FILE_ATTRIBUTE_READONLY);
    m.SetAttributes("C:\\ro.txt", FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(m.GetAttributes("C:\\ro.txt"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(m.RemoveFile("C:\\ro.txt"), ERROR_SUCCESS);
    EXPECT_EQ(m.GetAttributes("C:\\ro.txt"), kInvalidAttributes);

    FileHandle h = kInvalidFile;
    ASSERT_EQ(m.OpenForRead("C:\\open.txt", h), ERROR_SUCCESS);
    std::uint8_t buf[8] = {};
    std::uint32_t read = 0;
    EXPECT_EQ(m.ReadAt(h, 6, buf, 8, read), ERROR_SUCCESS);
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(m.ReadAt(h, 100, buf, 8, read), ERROR_SUCCESS);
    EXPECT_EQ(read, 0u) << "past the end is no error";
    EXPECT_EQ(m.RemoveFile("C:\\open.txt"), ERROR_SHARING_VIOLATION);
    m.CloseFile(h);
    EXPECT_EQ(m.OpenFileCount(), 0);
    EXPECT_EQ(m.RemoveFile("C:\\open.txt"), ERROR_SUCCESS);

    const std::uint32_t id = m.StartProcess("C:\\run.exe");
    EXPECT_EQ(m.RemoveFile("C:\\run.exe"), ERROR_ACCESS_DENIED) << "a running program's file stays";
    EXPECT_EQ(m.RemoveAtRestart("C:\\run.exe"), ERROR_SUCCESS);
    EXPECT_EQ(m.RestartDeletions(), std::vector<std::string>{"C:\\run.exe"});
    ProcessHandle p = 0;
    m.OpenProcess(0x1F0FFF, id, p);
    m.TerminateProcess(p, 1);
    m.CloseProcess(p);
    EXPECT_EQ(m.RemoveFile("C:\\run.exe"), ERROR_SUCCESS);

    EXPECT_EQ(m.CreateForWrite("C:\\old.htm", true, h), ERROR_FILE_EXISTS) << "an existing file is never touched";
    EXPECT_EQ(m.RenameFile("C:\\new.tmp", "C:\\old.htm", false), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(m.RenameFile("C:\\new.tmp", "C:\\old.htm", true), ERROR_SUCCESS);
    ASSERT_EQ(m.OpenForRead("C:\\old.htm", h), ERROR_SUCCESS);
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    EXPECT_EQ(m.FileInfo(h, attributes, size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(m.ReadAt(h, 0, buf, 3, read), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), read), "new");
    m.CloseFile(h);

    m.SetPlatform(VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(m.RemoveAtRestart("C:\\old.htm"), ERROR_CALL_NOT_IMPLEMENTED);
}
