// Trees that a disk can hold and a walk must survive: folders nested deeper
// than any path limit, names outside every ANSI code page, files of no
// bytes and files larger than 4 GiB. The scan runs whole over them; bodies
// anywhere in them are still found, and nothing else is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestMachine.h"
#include "app/StringIds.h"
#include "scan/DirectoryWalker.h"
#include "scan/ScriptRepair.h"

namespace fs = std::filesystem;

namespace {

std::string T(std::uint32_t id) { return BuiltInString(id); }

std::string WinPath(const std::string& relative) {
    std::string path = "C:\\" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string Chain(const std::string& name, int levels) {
    std::string path;
    for (int i = 0; i < levels; ++i) path += name + "/";
    return path;
}

// A sparse file: `size` bytes on paper, `head` written at its start.
void WriteSparse(const std::string& hostPath, std::uint64_t size, const std::string& head) {
    fs::create_directories(fs::path(hostPath).parent_path());
    { std::ofstream(hostPath, std::ios::binary) << head; }
    fs::resize_file(hostPath, size);
}

bool Reported(const CTestMachine& t, ActionKind kind, const std::string& target) {
    const auto findings = t.view.Findings();
    return std::any_of(findings.begin(), findings.end(),
                       [&](const Finding& f) { return f.kind == kind && f.target == target; });
}

}  // namespace

TEST(HostileTree, BodiesAreFoundPastThePathLimitAndUnderAnyName) {
    CTestMachine t;
    const std::string body = BodyOf(11);  // Dumaru
    // 100 levels of "folder" make a path of 700 characters.
    const std::string deep = Chain("folder", 100) + "setup.exe";
    const std::vector<std::string> bodies = {deep, u8"Pobrane/złośliwy.exe", u8"下载/病毒.exe",
                                             u8"Загрузки/вирус.scr"};
    for (const std::string& b : bodies) t.drive.WriteFile(b, body);
    ASSERT_GT(WinPath(deep).size(), 260u);
    t.drive.WriteFile(Chain("folder", 100) + "keep.exe", "MZ an ordinary program");

    ASSERT_TRUE(t.Scan());

    for (const std::string& b : bodies) {
        SCOPED_TRACE(b);
        EXPECT_FALSE(fs::exists(fs::path(t.drive.Path()) / fs::u8path(b)));
        EXPECT_TRUE(Reported(t, ActionKind::FileDeleted, WinPath(b)));
        const auto log = t.view.Log();
        EXPECT_NE(std::find(log.begin(), log.end(), T(IDS_VIRUS_FILE_DELETED) + WinPath(b) + " (I-Worm.Dumaru)"),
                  log.end());
    }
    EXPECT_TRUE(fs::exists(fs::path(t.drive.Path()) / (Chain("folder", 100) + "keep.exe")));
}

TEST(HostileTree, EmptyAndHugeFilesAreLookedAtOnlyWhereTheyCanBe) {
    CTestMachine t;
    const std::uint64_t kHuge = (5ull << 30) + 17;  // past 4 GiB, so no 32-bit size holds it
    t.drive.WriteFile("empty/nothing.exe", "");
    t.drive.WriteFile("empty/nothing.htm", "");
    // A body is known by its start, whatever follows.
    const std::string dumaru = BodyOf(11);
    WriteSparse(t.drive.Path() + "/huge/setup.exe", kHuge, dumaru);
    // A page this large is not loaded for the repair: it stays as it is.
    const std::string page = "<html>" + std::string(ScriptMarkers()[0].text) + "</html>";
    WriteSparse(t.drive.Path() + "/huge/index.htm", kHuge, page);
    t.drive.WriteFile("small/index.htm", page);

    ASSERT_TRUE(t.Scan());

    EXPECT_TRUE(fs::exists(t.drive.Path() + "/empty/nothing.exe"));
    EXPECT_TRUE(fs::exists(t.drive.Path() + "/empty/nothing.htm"));
    EXPECT_FALSE(fs::exists(t.drive.Path() + "/huge/setup.exe"));
    EXPECT_TRUE(Reported(t, ActionKind::FileDeleted, "C:\\huge\\setup.exe"));
    EXPECT_EQ(fs::file_size(t.drive.Path() + "/huge/index.htm"), kHuge);
    EXPECT_FALSE(Reported(t, ActionKind::FileRepaired, "C:\\huge\\index.htm"));
    EXPECT_TRUE(Reported(t, ActionKind::FileRepaired, "C:\\small\\index.htm"));
    EXPECT_EQ(t.machine.OpenFileCount(), 0);
}

TEST(HostileTree, AWalkEndsAtItsDepthLimit) {
    CTempDir root;
    CSimMachine machine;
    machine.MapDrive('C', DRIVE_FIXED, root.Path());
    root.WriteFile(Chain("d", CDirectoryWalker::kMaxDepth) + "reached.exe");
    root.WriteFile(Chain("d", CDirectoryWalker::kMaxDepth + 1) + "beyond.exe");

    class CCollector : public CDirectoryWalker {
    public:
        using CDirectoryWalker::CDirectoryWalker;
        std::vector<std::string> files;

    protected:
        void OnMatchingFile(std::string path) override { files.push_back(path.substr(path.rfind('\\') + 1)); }
    } walker(machine);
    walker.Walk("C:");
    EXPECT_EQ(walker.files, std::vector<std::string>{"reached.exe"});
}
