#include <gtest/gtest.h>

#include <filesystem>

#include "TestMachine.h"
#include "scan/DirectoryWalker.h"

namespace {

// Records the hooks in the order the walk calls them.
class CRecordingWalker : public CDirectoryWalker {
public:
    using CDirectoryWalker::CDirectoryWalker;
    std::vector<std::string> events;
    std::string abortAtDirectory;

protected:
    void OnEnterDirectory(std::string dir) override {
        events.push_back("dir " + dir);
        if (dir == abortAtDirectory) m_bAbort = 1;
    }
    void OnFile(std::string path) override { events.push_back("file " + path); }
    void OnMatchingFile(std::string path) override { events.push_back("match " + path); }
};

std::vector<std::string> Matches(const std::vector<std::string>& events) {
    std::vector<std::string> out;
    for (const auto& e : events)
        if (e.rfind("match ", 0) == 0) out.push_back(e.substr(6));
    return out;
}

struct WalkFixture {
    CTempDir root;
    CSimMachine machine;
    CRecordingWalker walker{machine};
    WalkFixture() { machine.MapDrive('C', DRIVE_FIXED, root.Path()); }
};

}  // namespace

TEST(DirectoryWalker, WalksDepthFirstPreOrderWithWindowsPaths) {
    WalkFixture f;
    f.root.WriteFile("boot.ini");
    f.root.WriteFile("WINDOWS/win.ini");
    f.root.WriteFile("WINDOWS/System32/a.dll");
    f.root.WriteFile("zeta.txt");
    f.walker.Walk("C:");
    EXPECT_EQ(f.walker.events, (std::vector<std::string>{
                                   "dir C:", "file C:\\boot.ini", "match C:\\boot.ini", "dir C:\\WINDOWS",
                                   "dir C:\\WINDOWS\\System32", "file C:\\WINDOWS\\System32\\a.dll",
                                   "match C:\\WINDOWS\\System32\\a.dll", "file C:\\WINDOWS\\win.ini",
                                   "match C:\\WINDOWS\\win.ini", "file C:\\zeta.txt", "match C:\\zeta.txt"}));
}

TEST(DirectoryWalker, SecondWalkStartsFromTheSameStateAsTheFirst) {
    WalkFixture f;
    f.root.WriteFile("a/b/c.txt");
    f.walker.Walk("C:");
    const std::vector<std::string> first = f.walker.events;
    f.walker.events.clear();
    f.walker.Walk("C:");
    EXPECT_EQ(f.walker.events, first);
}

TEST(DirectoryWalker, SkipsEveryNameWithALeadingDotWithItsContents) {
    WalkFixture f;
    f.root.WriteFile(".htaccess");
    f.root.WriteFile(".svn/entries");
    f.root.WriteFile("site/index.htm");
    f.walker.Walk("C:");
    EXPECT_EQ(Matches(f.walker.events), std::vector<std::string>{"C:\\site\\index.htm"});
    for (const auto& e : f.walker.events) EXPECT_EQ(e.find(".svn"), std::string::npos) << e;
}

struct ExtensionCase {
    const char* name;
    std::vector<std::string> set;
    std::vector<std::string> files;
    std::vector<std::string> matched;  // in walk order; a name twice when two entries select it
};

class ExtensionFilter : public testing::TestWithParam<ExtensionCase> {};

TEST_P(ExtensionFilter, SelectsByTheLastFourCharacters) {
    const ExtensionCase& c = GetParam();
    WalkFixture f;
    for (const auto& file : c.files) f.root.WriteFile(file);
    for (const auto& ext : c.set) f.walker.AddExtension(ext);
    f.walker.Walk("C:");
    std::vector<std::string> expected;
    for (const auto& m : c.matched) expected.push_back("C:\\" + m);
    EXPECT_EQ(Matches(f.walker.events), expected);
}

const ExtensionCase kExtensionCases[] = {
    {"HtmAndHtml", {".htm", "html"}, {"a.htm", "b.html", "c.HTML", "d.shtml", "e.txt"},
     {"a.htm", "b.html", "c.HTML", "d.shtml"}},
    {"StarSelectsDotlessNames", {"*"}, {"README", "README.txt", "Makefile"}, {"Makefile", "README"}},
    {"StarAndMatchingEndingSelectTwice", {"html", "*"}, {"xhtml"}, {"xhtml", "xhtml"}},
    {"EmptySetSelectsAll", {}, {"a.bin", "b"}, {"a.bin", "b"}},
    {"ShortNameComparedWhole", {".exe"}, {"exe", "a.exe"}, {"a.exe"}},
    {"ExtensionWithDollar", {".ex$"}, {"setup.ex$", "setup.exe"}, {"setup.ex$"}},
    {"NonAsciiEnding", {".exe"}, {"zażółć.EXE", "plikó"}, {"zażółć.EXE"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ExtensionFilter, testing::ValuesIn(kExtensionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DirectoryWalker, AddExtensionIgnoresCaseAndKeepsOrder) {
    CSimMachine machine;
    CDirectoryWalker walker(machine);
    EXPECT_TRUE(walker.AddExtension(".exe"));
    EXPECT_TRUE(walker.AddExtension(".SCR"));
    EXPECT_FALSE(walker.AddExtension(".EXE"));
    EXPECT_FALSE(walker.AddExtension(".scr"));
    EXPECT_EQ(walker.Extensions(), (std::vector<std::string>{".exe", ".SCR"}));
    walker.ClearExtensions();
    EXPECT_TRUE(walker.Extensions().empty());
}

TEST(DirectoryWalker, AbortStopsAfterTheEntryInProgressAtEveryLevel) {
    WalkFixture f;
    f.root.WriteFile("a/1.txt");
    f.root.WriteFile("a/deep/2.txt");
    f.root.WriteFile("a/deep/3.txt");
    f.root.WriteFile("a/z.txt");
    f.root.WriteFile("b/4.txt");
    f.walker.abortAtDirectory = "C:\\a\\deep";
    f.walker.Walk("C:");
    // The first entry of the aborted folder (".", below a root) is handled
    // before the flag is looked at; nothing after it is, at any level.
    EXPECT_EQ(f.walker.events, (std::vector<std::string>{"dir C:", "dir C:\\a", "file C:\\a\\1.txt",
                                                         "match C:\\a\\1.txt", "dir C:\\a\\deep"}));
}

TEST(DirectoryWalker, DoesNotFollowALinkBackUpTheTree) {
    WalkFixture f;
    f.root.WriteFile("Users/me/doc.txt");
    std::filesystem::create_directory_symlink(f.root.Path() + "/Users", f.root.Path() + "/Users/me/Loop");
    f.walker.Walk("C:");
    EXPECT_EQ(Matches(f.walker.events), std::vector<std::string>{"C:\\Users\\me\\doc.txt"});
}

// A network share whose server follows its own links lists them as plain
// folders; two links back up in one folder would make the walk branch for
// ever. A folder that is one of its own ancestors is not entered, and a link
// elsewhere is walked like any folder.
TEST(DirectoryWalker, FolderReachedAgainFromBelowIsNotEnteredWhereLinksLookLikeFolders) {
    WalkFixture f;
    f.machine.ShowLinksAsFolders(true);
    f.root.WriteFile("Users/me/doc.txt");
    f.root.WriteFile("Shared/team.txt");
    std::filesystem::create_directory_symlink(f.root.Path() + "/Users", f.root.Path() + "/Users/me/Up");
    std::filesystem::create_directory_symlink(f.root.Path(), f.root.Path() + "/Users/me/Root");
    std::filesystem::create_directory_symlink(f.root.Path() + "/Shared", f.root.Path() + "/Users/me/Team");
    f.walker.Walk("C:");
    EXPECT_EQ(Matches(f.walker.events),
              (std::vector<std::string>{"C:\\Shared\\team.txt", "C:\\Users\\me\\doc.txt",
                                        "C:\\Users\\me\\Team\\team.txt"}));
}

TEST(DirectoryWalker, UnlistableDirectoryIsEnteredThenPassedOver) {
    WalkFixture f;
    f.root.WriteFile("locked/secret.exe");
    f.root.WriteFile("open/fine.exe");
    f.machine.FailCall("FindFirst", "C:\\locked\\", ERROR_ACCESS_DENIED);
    f.walker.Walk("C:");
    EXPECT_EQ(f.walker.events, (std::vector<std::string>{"dir C:", "dir C:\\locked", "dir C:\\open",
                                                         "file C:\\open\\fine.exe", "match C:\\open\\fine.exe"}));
    EXPECT_EQ(f.machine.FaultsFired(), 1);
}

TEST(DirectoryWalker, MissingDirectoryOnlyEntersIt) {
    WalkFixture f;
    f.walker.Walk("C:\\nowhere");
    EXPECT_EQ(f.walker.events, std::vector<std::string>{"dir C:\\nowhere"});
}
