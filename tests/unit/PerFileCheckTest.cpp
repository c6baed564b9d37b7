#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "TestMachine.h"
#include "scan/RuleTable.h"
#include "scan/ScriptRepair.h"

namespace fs = std::filesystem;

namespace {

std::string Marker(std::size_t k) { return std::string(ScriptMarkers()[k].text); }

// Marker k with exactly the block the repair cuts around it.
std::string InfectedBlock(std::size_t k) {
    const ScriptMarker& m = ScriptMarkers()[k];
    return std::string(m.before, 'x') + Marker(k) + std::string(m.after, 'y');
}

// A dialog on the simulated machine with the files of one test on C:.
struct CPerFileFixture {
    CTestMachine t;

    std::string Text(std::uint32_t id) { return t.machine.LoadText(id); }

    // Writes `relative` ('/' separated) and returns its Windows path.
    std::string Put(const std::string& relative, const std::string& content) {
        t.drive.WriteFile(relative, content);
        std::string win = "C:\\" + relative;
        std::replace(win.begin(), win.end(), '/', '\\');
        return win;
    }
    bool Exists(const std::string& winPath) const {
        const std::string host = t.machine.HostPath(winPath);
        return !host.empty() && fs::exists(host);
    }
    std::string Read(const std::string& winPath) const {
        std::ifstream in(t.machine.HostPath(winPath), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The names in a folder of C:, sorted.
    std::set<std::string> Folder(const std::string& relative) const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(fs::path(t.drive.Path()) / relative))
            names.insert(entry.path().filename().string());
        return names;
    }

    // The disk walk over C: with an empty extension set: every file reaches
    // the per-file check.
    void Walk() { t.dlg->m_walker.Walk("C:"); }

    std::vector<Finding> Findings(ActionKind kind) const {
        std::vector<Finding> out;
        for (const Finding& f : t.view.Findings())
            if (f.kind == kind) out.push_back(f);
        return out;
    }
    std::vector<std::string> Lines(ActionKind kind) const {
        std::vector<std::string> out;
        for (const Finding& f : Findings(kind)) out.push_back(f.line);
        return out;
    }
};

// The first rule of the classifier's table whose bytes are listed, written
// at its offset into an otherwise empty file.
std::string FileMatchingARule() {
    std::string content;
    ForEachRule([&](const SignatureRule& rule) {
        if (!content.empty() || rule.bytes == nullptr) return;
        content.assign(rule.offset, ' ');
        content.append(reinterpret_cast<const char*>(rule.bytes), rule.length);
    });
    return content;
}

}  // namespace

// The dropper lines of markers 6 and 7 are the classifier's rule windows at
// the offsets the cut reaches back to: a dropped script the classifier
// would delete is the block the repair cuts out of a page.
TEST(ScriptMarkers, DropperMarkersAreRuleWindowsAtTheirBlocksStart) {
    for (std::size_t k : {6u, 7u}) {
        SCOPED_TRACE("marker " + std::to_string(k));
        const ScriptMarker& m = ScriptMarkers()[k];
        int matches = 0;
        ForEachRule([&](const SignatureRule& rule) {
            if (rule.bytes != nullptr && rule.offset == m.before && rule.length == m.text.size() &&
                std::equal(m.text.begin(), m.text.end(), reinterpret_cast<const char*>(rule.bytes))) {
                ++matches;
            }
        });
        EXPECT_EQ(matches, 1);
    }
}

// --- registered names -----------------------------------------------------------

TEST(PerFileCheck, RegisteredNameIsDeletedAnywhereWithItsFamily) {
    CPerFileFixture f;
    f.t.dlg->RegisterVirusNames({"other.exe"}, "Worm.Other");
    f.t.dlg->RegisterVirusNames({"svcinit.exe"}, "Trojan.Win32.Fakesvc");
    const std::string body = f.Put("Program Files/Deep/Er/SvcInit.EXE", "MZ body");
    const std::string innocent = f.Put("Program Files/Deep/svcinit.exe.txt", "notes");
    f.t.machine.SetAttributes(body, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    f.Walk();

    EXPECT_FALSE(f.Exists(body));
    EXPECT_TRUE(f.Exists(innocent));
    const auto deleted = f.Findings(ActionKind::FileDeleted);
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].line, f.Text(7) + "Trojan.Win32.Fakesvc: " + body);
    EXPECT_EQ(deleted[0].family, "Trojan.Win32.Fakesvc");
    EXPECT_EQ(deleted[0].target, body);
    EXPECT_EQ(f.t.machine.OpenFileCount(), 0);
}

TEST(PerFileCheck, NameOfTwoFamiliesIsReportedUnderTheEntryWhoseDeletionWorked) {
    struct Row {
        const char* name;
        bool failFirst, failAll;
        const char* family;  // empty: no deletion succeeds
    };
    const Row rows[] = {
        {"FirstEntryDeletes", false, false, "Worm.A"},
        {"FirstFailsNextEqualEntryDeletes", true, false, "Worm.B"},
        {"EveryEntryFails", true, true, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CPerFileFixture f;
        f.t.dlg->RegisterVirusNames({"a.exe", "dup.exe"}, "Worm.A");
        f.t.dlg->RegisterVirusNames({"b.exe"}, "Worm.C");
        f.t.dlg->RegisterVirusNames({"DUP.exe"}, "Worm.B");
        const std::string path = f.Put("dup.exe", "body");
        if (row.failFirst) f.t.machine.FailCall("RemoveFile", "dup.exe", ERROR_ACCESS_DENIED, 1, row.failAll);
        f.Walk();
        const auto deleted = f.Findings(ActionKind::FileDeleted);
        if (*row.family == '\0') {
            EXPECT_TRUE(deleted.empty());
            EXPECT_TRUE(f.Exists(path));
            EXPECT_EQ(f.t.machine.FaultsFired(), 2);  // each equal entry tried
            continue;
        }
        ASSERT_EQ(deleted.size(), 1u);
        EXPECT_EQ(deleted[0].line, f.Text(7) + row.family + ": " + path);
        EXPECT_EQ(deleted[0].family, row.family);
        EXPECT_FALSE(f.Exists(path));
    }
}

TEST(PerFileCheck, NameBeyondTheCountsIsDeletedWithoutAFamily) {
    CPerFileFixture f;
    f.t.dlg->RegisterVirusNames({"a.exe"}, "Worm.A");
    // A name whose family was never counted, and counts that point past the
    // families: neither may reach outside the lists.
    f.t.dlg->m_virusFileNames.push_back("orphan.exe");
    f.t.dlg->m_familyNameCount[1] = 1000;
    const std::string path = f.Put("orphan.exe", "body");
    f.Walk();
    const auto deleted = f.Findings(ActionKind::FileDeleted);
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].family, "");
    EXPECT_EQ(deleted[0].line, f.Text(7) + ": " + path);
}

// --- ".gif" files --------------------------------------------------------------

TEST(PerFileCheck, InfectedGifIsDeletedAndCleanGifGoesToTheClassifier) {
    CPerFileFixture f;
    const std::string infected = f.Put("web/logo.GIF", "GIF89a" + Marker(0) + "rest");
    const std::string clean = f.Put("web/photo.gif", "GIF89a plain picture");
    const std::string detected = f.Put("web/worm.gif", FileMatchingARule());
    f.Walk();

    EXPECT_FALSE(f.Exists(infected));
    EXPECT_TRUE(f.Exists(clean));
    EXPECT_EQ(f.Read(clean), "GIF89a plain picture");
    // The classifier's own line names the family; the gif line does not.
    EXPECT_FALSE(f.Exists(detected));
    std::vector<std::string> lines = f.Lines(ActionKind::FileDeleted);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], f.Text(7) + infected);
    EXPECT_EQ(lines[1].rfind(f.Text(7) + detected + " (", 0), 0u) << lines[1];
    EXPECT_TRUE(f.Findings(ActionKind::FileRepaired).empty());
    EXPECT_EQ(f.t.machine.OpenFileCount(), 0);
}

// --- script files -----------------------------------------------------------------

TEST(PerFileCheck, ScriptEndingsAreComparedWithoutCaseOnThePathsLastFourCharacters) {
    struct Row {
        const char* file;
        bool script;
    };
    const Row rows[] = {
        {"report.HTM", true}, {"page.shtml", true}, {"system.ini", true}, {"folder.htt", true},
        {"index.php", true},  {"default.Asp", true}, {"love.vbs", true}, {"app.hta", true},
        {"page.htm.txt", false}, {"readme.txt", false}, {"phtml", true}, {"vbs", false},
    };
    CPerFileFixture f;
    std::vector<std::string> expected;
    for (const Row& row : rows) {
        const std::string path = f.Put(std::string("s/") + row.file, "<html>" + Marker(0) + "</html>");
        if (row.script) expected.push_back(f.Text(12) + path + f.Text(42));
    }
    f.Walk();
    std::vector<std::string> repaired = f.Lines(ActionKind::FileRepaired);
    std::sort(repaired.begin(), repaired.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(repaired, expected);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const std::string content = f.Read(std::string("C:\\s\\") + row.file);
        EXPECT_EQ(content, row.script ? "<html></html>" : "<html>" + Marker(0) + "</html>");
    }
}

TEST(PerFileCheck, PageLosesExactlyTheMarkerAndKeepsTheRest) {
    CPerFileFixture f;
    const std::string page = "<html>\r\n<head><script>var a = 1;</script></head>\r\n";
    const std::string path = f.Put("www/index.html", page + Marker(0) + "\r\n<p>Witaj</p></html>");
    f.Walk();
    EXPECT_EQ(f.Read(path), page + "\r\n<p>Witaj</p></html>");
    const auto repaired = f.Findings(ActionKind::FileRepaired);
    ASSERT_EQ(repaired.size(), 1u);
    EXPECT_EQ(repaired[0].line, f.Text(12) + path + f.Text(42));
    EXPECT_EQ(repaired[0].target, path);
    EXPECT_EQ(repaired[0].family, "");
}

TEST(PerFileCheck, ReadOnlyScriptIsRepairedWithNormalAttributes) {
    CPerFileFixture f;
    const std::string path = f.Put("WINDOWS/drop.vbs", "' head\r\n" + InfectedBlock(6) + "' tail\r\n");
    f.t.machine.SetAttributes(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    f.Walk();
    EXPECT_EQ(f.Read(path), "' head\r\n' tail\r\n");
    EXPECT_EQ(f.t.machine.GetAttributes(path), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(f.Lines(ActionKind::FileRepaired), std::vector<std::string>{f.Text(12) + path + f.Text(42)});
    EXPECT_EQ(f.Folder("WINDOWS"), std::set<std::string>{"drop.vbs"});
    EXPECT_EQ(f.t.machine.OpenFileCount(), 0);
}

TEST(PerFileCheck, BytesAfterTheFirstZeroByteSurviveTheRepair) {
    CPerFileFixture f;
    const std::string tail = std::string("\0\x01\xFF binary ", 12) + Marker(0) + std::string(3, '\0');
    const std::string path = f.Put("p/mixed.htm", "<p>" + Marker(0) + "</p>" + tail);
    f.Walk();
    EXPECT_EQ(f.Read(path), "<p></p>" + tail);
    EXPECT_EQ(f.Findings(ActionKind::FileRepaired).size(), 1u);
}

TEST(PerFileCheck, CleanPageIsNotRewrittenButScriptHostsAreStopped) {
    CPerFileFixture f;
    const std::uint32_t host1 = f.t.machine.StartProcess("C:\\WINDOWS\\System32\\wscript.exe");
    const std::uint32_t host2 = f.t.machine.StartProcess("C:\\WINDOWS\\WScript.EXE");
    const std::uint32_t other = f.t.machine.StartProcess("C:\\WINDOWS\\cscript.exe");
    const std::string path = f.Put("www/clean.htm", "<html>hello</html>");
    f.t.machine.SetAttributes(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    // Any attempt to write or replace would show as a fired fault.
    f.t.machine.FailCall("CreateForWrite", "", ERROR_ACCESS_DENIED);
    f.t.machine.FailCall("RenameFile", "", ERROR_ACCESS_DENIED);
    f.t.machine.FailCall("RemoveFile", "", ERROR_ACCESS_DENIED);
    f.Walk();

    EXPECT_EQ(f.t.machine.FaultsFired(), 0);
    EXPECT_EQ(f.Read(path), "<html>hello</html>");
    EXPECT_EQ(f.t.machine.GetAttributes(path), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(f.t.machine.IsRunning(host1));
    EXPECT_FALSE(f.t.machine.IsRunning(host2));
    EXPECT_TRUE(f.t.machine.IsRunning(other));
    EXPECT_EQ(f.Lines(ActionKind::ProcessStopped), (std::vector<std::string>{"   " + f.Text(1), "   " + f.Text(1)}));
    EXPECT_TRUE(f.Findings(ActionKind::FileRepaired).empty());
    EXPECT_EQ(f.t.machine.OpenFileCount(), 0);
}

TEST(PerFileCheck, ScriptFilesNeverReachTheClassifier) {
    CPerFileFixture f;
    const std::string script = f.Put("a/page.htm", FileMatchingARule());
    const std::string other = f.Put("a/page.dat", FileMatchingARule());
    f.Walk();
    EXPECT_TRUE(f.Exists(script));
    EXPECT_FALSE(f.Exists(other));
}

TEST(RepairScriptFile, AnswersTwoZeroOrMinusOne) {
    CPerFileFixture f;
    const std::string infected = f.Put("a.htm", Marker(0));
    const std::string clean = f.Put("b.htm", "clean");
    const std::string empty = f.Put("c.htm", "");
    EXPECT_EQ(f.t.dlg->RepairScriptFile(infected), 2);
    EXPECT_EQ(f.Read(infected), "");
    EXPECT_EQ(f.t.dlg->RepairScriptFile(clean), 0);
    EXPECT_EQ(f.t.dlg->RepairScriptFile(empty), 0);
    EXPECT_EQ(f.t.dlg->RepairScriptFile("C:\\missing.htm"), -1);
    f.t.machine.LockFile(clean, true);
    EXPECT_EQ(f.t.dlg->RepairScriptFile(clean), -1);
    // A file far larger than any page is data and is not loaded, even with
    // a marker in it (sparse on the host, so the test stays cheap).
    const std::string huge = f.Put("huge.htm", Marker(0));
    fs::resize_file(f.t.machine.HostPath(huge), (64u << 20) + 1);
    EXPECT_EQ(f.t.dlg->RepairScriptFile(huge), -1);
    EXPECT_EQ(fs::file_size(f.t.machine.HostPath(huge)), (64u << 20) + 1);
    // The repair itself writes no line; its caller does.
    EXPECT_TRUE(f.t.view.Findings().empty());
}

// --- the repair's failure points ----------------------------------------------------

namespace {

// What the disk holds after a repair, beside the user's own "x.htm.tmp".
enum class Outcome {
    Original,           // the infected file, whole, and nothing of ours
    Repaired,           // the repaired file in its place, and nothing of ours
    RepairedUnderTemp,  // the original gone, the whole repaired text kept under our temporary name
};

constexpr const char* kUserTemp = "user's own x.htm.tmp";

struct RepairFixture : CPerFileFixture {
    std::string path, infected, repaired;
    RepairFixture() {
        // Larger than one read or write piece, so that faults can strike
        // in the middle of the file.
        const std::string page(70000, 'p');
        infected = "<html>" + page + Marker(0) + page + "</html>";
        repaired = "<html>" + page + page + "</html>";
        path = Put("site/x.htm", infected);
        Put("site/x.htm.tmp", kUserTemp);
        t.machine.SetAttributes(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    }

    // Checks what must hold after every repair, faulty or not, and says
    // which state the disk is in.
    Outcome Check() {
        EXPECT_EQ(t.machine.OpenFileCount(), 0);
        EXPECT_EQ(Read("C:\\site\\x.htm.tmp"), kUserTemp);
        const std::set<std::string> names = Folder("site");
        const bool lined = !Lines(ActionKind::FileRepaired).empty();
        if (names == std::set<std::string>{"x.htm", "x.htm.tmp"}) {
            const std::string now = Read(path);
            if (now == repaired) {
                EXPECT_TRUE(lined);
                EXPECT_EQ(t.machine.GetAttributes(path) &
                              (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
                          0u);
                return Outcome::Repaired;
            }
            EXPECT_TRUE(now == infected) << "the page is neither the original nor the repaired one";
            // Only the read-only bit may have gone from a page left infected.
            EXPECT_EQ(t.machine.GetAttributes(path) & ~FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN);
            EXPECT_FALSE(lined);
            return Outcome::Original;
        }
        EXPECT_EQ(names, (std::set<std::string>{"x.htm.tm1", "x.htm.tmp"}));
        EXPECT_TRUE(Read("C:\\site\\x.htm.tm1") == repaired);
        EXPECT_FALSE(lined);
        return Outcome::RepairedUnderTemp;
    }
};

}  // namespace

TEST(RepairFailure, EachFaultLeavesTheOriginalOrTheWholeRepairedFile) {
    struct Row {
        const char* name;
        const char* op;
        std::int32_t error;
        int nth;
        bool persistent;
        Outcome outcome;
    };
    const Row rows[] = {
        {"OpenForRead", "OpenForRead", ERROR_SHARING_VIOLATION, 1, true, Outcome::Original},
        {"FileInfo", "FileInfo", ERROR_ACCESS_DENIED, 1, true, Outcome::Original},
        {"FirstRead", "ReadAt", ERROR_ACCESS_DENIED, 1, true, Outcome::Original},
        {"MiddleRead", "ReadAt", ERROR_ACCESS_DENIED, 2, false, Outcome::Original},
        {"CreateTemp", "CreateForWrite", ERROR_ACCESS_DENIED, 1, true, Outcome::Original},
        {"EveryTempNameTaken", "CreateForWrite", ERROR_FILE_EXISTS, 1, true, Outcome::Original},
        {"FirstWriteDiskFull", "WriteTo", ERROR_DISK_FULL, 1, true, Outcome::Original},
        {"MiddleWriteDiskFull", "WriteTo", ERROR_DISK_FULL, 2, false, Outcome::Original},
        {"ReplaceRefused", "RenameFile", ERROR_ACCESS_DENIED, 1, true, Outcome::Original},
        {"ReplaceNotOnThisSystem", "RenameFile", ERROR_CALL_NOT_IMPLEMENTED, 1, false, Outcome::Repaired},
        {"NoRenameAtAll", "RenameFile", ERROR_CALL_NOT_IMPLEMENTED, 1, true, Outcome::RepairedUnderTemp},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RepairFixture f;
        f.t.machine.FailCall(row.op, "x.htm", row.error, row.nth, row.persistent);
        f.Walk();
        EXPECT_EQ(f.t.machine.FaultsFired() > 0, true);
        EXPECT_EQ(f.Check(), row.outcome);
    }
}

TEST(RepairFailure, InfectedFileThatCannotGoOnANineXSystemStaysWhole) {
    RepairFixture f;
    f.t.machine.FailCall("RenameFile", "x.htm", ERROR_CALL_NOT_IMPLEMENTED);
    // The original refuses deletion once; the temporary file then goes.
    f.t.machine.FailCall("RemoveFile", "x.htm", ERROR_ACCESS_DENIED, 1, false);
    f.Walk();
    EXPECT_EQ(f.Check(), Outcome::Original);
    EXPECT_TRUE(f.t.machine.RestartDeletions().empty());
}

TEST(RepairFailure, TemporaryFileThatCannotGoIsLeftForTheRestart) {
    RepairFixture f;
    f.t.machine.FailCall("WriteTo", "x.htm", ERROR_DISK_FULL);
    f.t.machine.FailCall("RemoveFile", "x.htm.tm1", ERROR_ACCESS_DENIED);
    f.Walk();
    EXPECT_EQ(f.Read(f.path), f.infected);
    EXPECT_EQ(f.t.machine.RestartDeletions(), std::vector<std::string>{"C:\\site\\x.htm.tm1"});
    EXPECT_EQ(f.Read("C:\\site\\x.htm.tmp"), kUserTemp);
}

// Every call the repair makes, failed in turn from the first on until a run
// no longer reaches the fault: whatever fails, the disk never loses both the
// original and the repaired text, and a line is written only for a page that
// really holds the repaired text.
TEST(RepairFailure, SweepOverEveryCallOfEveryOperation) {
    struct Op {
        const char* op;
        std::int32_t error;
    };
    const Op ops[] = {
        {"OpenForRead", ERROR_SHARING_VIOLATION}, {"FileInfo", ERROR_ACCESS_DENIED},
        {"ReadAt", ERROR_ACCESS_DENIED},          {"SetAttributes", ERROR_ACCESS_DENIED},
        {"CreateForWrite", ERROR_DISK_FULL},      {"WriteTo", ERROR_DISK_FULL},
        {"RenameFile", ERROR_ACCESS_DENIED},      {"RenameFile", ERROR_CALL_NOT_IMPLEMENTED},
        {"RemoveFile", ERROR_ACCESS_DENIED},
    };
    for (const Op& op : ops) {
        for (bool persistent : {false, true}) {
            for (int nth = 1; nth < 50; ++nth) {
                SCOPED_TRACE(std::string(op.op) + " " + std::to_string(op.error) + " call " + std::to_string(nth) +
                             (persistent ? " and on" : " once"));
                RepairFixture f;
                f.t.machine.FailCall(op.op, "", op.error, nth, persistent);
                f.Walk();
                f.Check();
                if (f.t.machine.FaultsFired() == 0) break;
            }
        }
    }
}

// --- the key-logger library -------------------------------------------------------

TEST(CheckKeylogDll, OnlySmallLibrariesHoldingTheNameAreDeleted) {
    struct Row {
        const char* name;
        std::size_t size;
        std::size_t at;  // where the name starts
        const char* text;
        bool deleted;
    };
    const Row rows[] = {
        {"LastBytesOfTheLargestExamined", 5999, 5999 - 13, "Keylogdll.dll", true},
        {"AtTheStart", 100, 0, "Keylogdll.dll", true},
        {"TooLargeToExamine", 6000, 0, "Keylogdll.dll", false},
        {"CaseMatters", 200, 10, "keylogdll.dll", false},
        {"CutShort", 200, 200 - 12, "Keylogdll.dl", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CPerFileFixture f;
        std::string content(row.size, '\0');
        content.replace(row.at, std::string(row.text).size(), row.text);
        const std::string path = f.Put("WINDOWS/System32/hook.DLL", content);
        f.t.machine.SetAttributes(path, FILE_ATTRIBUTE_READONLY);
        f.Walk();
        EXPECT_EQ(f.Exists(path), !row.deleted);
        const auto lines = f.Lines(ActionKind::FileDeleted);
        EXPECT_EQ(lines, row.deleted ? std::vector<std::string>{f.Text(13) + path} : std::vector<std::string>{});
        // The path field shows the library whether or not it is examined.
        const auto paths = f.t.view.Paths();
        EXPECT_NE(std::find(paths.begin(), paths.end(), path), paths.end());
        EXPECT_EQ(f.t.machine.OpenFileCount(), 0);
    }
}

TEST(CheckKeylogDll, LibraryThatCannotGoIsFoundWithoutALine) {
    CPerFileFixture f;
    const std::string path = f.Put("hook.dll", "xxKeylogdll.dllxx");
    f.t.machine.StartProcess(path);  // a running program's file refuses deletion
    EXPECT_TRUE(f.t.dlg->CheckKeylogDll(path));
    EXPECT_TRUE(f.Exists(path));
    EXPECT_TRUE(f.t.view.Findings().empty());
    EXPECT_FALSE(f.t.dlg->CheckKeylogDll("C:\\missing.dll"));
}
