// The real program's disk walk over trees a disk can hold: folders nested
// past the path limit, names outside every ANSI code page, a file of no
// bytes and a sparse file larger than 4 GiB. Bodies anywhere in them are
// found and deleted with their lines, and nothing else is touched.
#include <gtest/gtest.h>

#include <algorithm>

#include "ProgramDriver.h"
#include "RuleBodies.h"
#include "ScanLog.h"
#include "WineFixtures.h"
#include "scan/ScriptRepair.h"

namespace {

bool HasLine(const std::vector<std::wstring>& log, const std::wstring& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

// A sparse file: `size` bytes on paper, `head` at its start.
void WriteSparse(const std::wstring& path, std::uint64_t size, const std::string& head) {
    WriteFileChecked(path, head);
    HANDLE h = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    EXPECT_TRUE(SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    CloseHandle(h);
}

std::uint64_t SizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

TEST(HostileTree, BodiesPastThePathLimitAndUnderAnyNameAreDeletedAndOddFilesLeft) {
    CPlantedTree tree(L"C:\\kc-hostile");
    std::wstring deep = tree.Root();
    for (int i = 0; i < 30; ++i) {
        deep += L"\\folder-" + std::to_wstring(i);
        CreateDirectoryChecked(deep);
    }
    const std::wstring deepBody = deep + L"\\setup.exe";
    ASSERT_GT(deepBody.size(), static_cast<std::size_t>(MAX_PATH));
    const std::wstring deepKeep = deep + L"\\keep.exe";

    CreateDirectoryChecked(tree.Root() + L"\\Pobrane");
    CreateDirectoryChecked(tree.Root() + L"\\\x4E0B\x8F7D");  // "download" in Chinese
    const std::wstring polish = tree.Root() + L"\\Pobrane\\z\x0142o\x015Bliwy.exe";
    const std::wstring chinese = tree.Root() + L"\\\x4E0B\x8F7D\\\x75C5\x6BD2.exe";
    const std::wstring empty = tree.Root() + L"\\empty.exe";
    const std::wstring huge = tree.Root() + L"\\huge.exe";
    const std::wstring hugePage = tree.Root() + L"\\huge.htm";
    constexpr std::uint64_t kHuge = (5ull << 30) + 17;

    const std::string dumaru = RuleWindowBody(11);
    for (const std::wstring& body : {deepBody, polish, chinese}) WriteFileChecked(body, dumaru);
    WriteFileChecked(deepKeep, "MZ an ordinary program");
    WriteFileChecked(empty, "");
    WriteSparse(huge, kHuge, dumaru);
    WriteSparse(hugePage, kHuge, "<html>" + std::string(ScriptMarkers()[0].text) + "</html>");

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    const std::vector<std::wstring> log = ScanToTheEnd(program);
    for (const std::wstring& body : {deepBody, polish, chinese, huge}) {
        EXPECT_FALSE(FileExists(body)) << ToUtf8(body);
        EXPECT_TRUE(HasLine(log, Text(7) + body + L" (I-Worm.Dumaru)")) << ToUtf8(body) << Describe(log);
    }
    EXPECT_TRUE(FileExists(deepKeep));
    EXPECT_TRUE(FileExists(empty));
    // A page this large is not loaded for the repair: it stays as it was.
    EXPECT_EQ(SizeOf(hugePage), kHuge);
    EXPECT_FALSE(HasLine(log, Text(12) + hugePage + Text(42))) << Describe(log);
    program.ExitWithButton();
}
