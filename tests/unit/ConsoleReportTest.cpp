// The pieces of the console program's answer to a script: JSON strings that
// stay valid whatever a file name holds, time stamps, the exit-code rule and
// the shape of the report.
#include <gtest/gtest.h>

#include <ostream>

#include "JsonReader.h"
#include "app/ConsoleReport.h"
#include "app/Version.h"

namespace {

struct JsonStringCase {
    const char* name;
    std::string input;
    std::string json;     // as written, quotes included
    std::string decoded;  // what a reader gets back
};

void PrintTo(const JsonStringCase& c, std::ostream* os) { *os << c.name; }

const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD

const JsonStringCase kJsonStringCases[] = {
    {"Plain", "C:\\WINDOWS\\x.exe", "\"C:\\\\WINDOWS\\\\x.exe\"", "C:\\WINDOWS\\x.exe"},
    {"QuotesInADefaultValue", "\"a.exe\" -s", "\"\\\"a.exe\\\" -s\"", "\"a.exe\" -s"},
    {"ShortEscapes", "a\b\f\n\r\tb", "\"a\\b\\f\\n\\r\\tb\"", "a\b\f\n\r\tb"},
    {"OtherControlCharacters", std::string("\x01\x1f", 2) + std::string(1, '\0') + "z",
     "\"\\u0001\\u001f\\u0000z\"", std::string("\x01\x1f", 2) + std::string(1, '\0') + "z"},
    {"DeleteIsNoControlCharacterInJson", "\x7f", "\"\x7f\"", "\x7f"},
    {"PolishKeptAsItIs", "Zakończ żółć", "\"Zakończ żółć\"", "Zakończ żółć"},
    {"FourByteCharacterKept", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\"", "\xF0\x9F\x98\x80"},
    {"LatinOneByteOfAnOldName", "caf\xE9.exe", "\"caf" + kReplacement + ".exe\"", "caf" + kReplacement + ".exe"},
    {"LoneContinuationByte", "a\x80" "b", "\"a" + kReplacement + "b\"", "a" + kReplacement + "b"},
    {"TruncatedSequenceAtTheEnd", "x\xC5", "\"x" + kReplacement + "\"", "x" + kReplacement},
    {"TruncatedSequenceBeforeAQuote", "\xE2\x82\"", "\"" + kReplacement + kReplacement + "\\\"\"",
     kReplacement + kReplacement + "\""},
    {"OverlongSlash", "\xC0\xAF", "\"" + kReplacement + kReplacement + "\"", kReplacement + kReplacement},
    {"EncodedSurrogateOfAnUnpairedUtf16Name", "\xED\xA0\x80", "\"" + kReplacement + kReplacement + kReplacement + "\"",
     kReplacement + kReplacement + kReplacement},
    {"AboveTheLastCodePoint", "\xF4\x90\x80\x80",
     "\"" + kReplacement + kReplacement + kReplacement + kReplacement + "\"",
     kReplacement + kReplacement + kReplacement + kReplacement},
    {"Empty", "", "\"\"", ""},
};

class JsonStrings : public testing::TestWithParam<JsonStringCase> {};

TEST_P(JsonStrings, AreEscapedAndAlwaysValid) {
    const JsonStringCase& c = GetParam();
    std::string out;
    AppendJsonString(out, c.input);
    EXPECT_EQ(out, c.json);
    SJsonValue value;
    std::string error;
    ASSERT_TRUE(ParseJson(out, value, error)) << error;
    EXPECT_EQ(value.text, c.decoded);
}

INSTANTIATE_TEST_SUITE_P(Rows, JsonStrings, testing::ValuesIn(kJsonStringCases),
                         [](const testing::TestParamInfo<JsonStringCase>& info) { return info.param.name; });

TEST(JsonStrings, EveryByteValueGivesValidJson) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string out;
    AppendJsonString(out, all + all);
    SJsonValue value;
    std::string error;
    EXPECT_TRUE(ParseJson(out, value, error)) << error;
}

TEST(UtcTimestamp, CountsDaysLeapYearsAndTheEpoch) {
    EXPECT_EQ(FormatUtcTimestamp(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(FormatUtcTimestamp(951782400), "2000-02-29T00:00:00Z");
    EXPECT_EQ(FormatUtcTimestamp(1709294405), "2024-03-01T12:00:05Z");
    EXPECT_EQ(FormatUtcTimestamp(4107542399), "2100-02-28T23:59:59Z");
    EXPECT_EQ(FormatUtcTimestamp(-1), "1969-12-31T23:59:59Z");
}

Finding F(ActionKind kind, bool succeeded = true) {
    Finding f;
    f.kind = kind;
    f.target = "C:\\x.exe";
    f.succeeded = succeeded;
    f.line = succeeded ? "   line" : "";
    return f;
}

struct ExitCase {
    const char* name;
    std::vector<Finding> findings;
    int code;
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

const ExitCase kExitCases[] = {
    {"NothingFound", {}, kExitNothingFound},
    {"RemovedAndRestored", {F(ActionKind::FileDeleted), F(ActionKind::RegistryValueRestored)}, kExitFound},
    {"OnlyNamedAsInfected", {F(ActionKind::InfectedFileReported)}, kExitFound},
    {"RepairedAndStopped", {F(ActionKind::FileRepaired), F(ActionKind::ProcessStopped)}, kExitFound},
    {"WaitsForTheRestart", {F(ActionKind::FileDeleted), F(ActionKind::FileDeleteScheduled)}, kExitWorkLeft},
    {"ARemovalFailed", {F(ActionKind::FileDeleted), F(ActionKind::FileDeleted, false)}, kExitWorkLeft},
    {"OnlyAFailedStop", {F(ActionKind::ProcessStopped, false)}, kExitWorkLeft},
    {"AFailedRestoration", {F(ActionKind::RegistryValueRestored, false), F(ActionKind::IniEntryRestored)},
     kExitWorkLeft},
};

class ExitCodes : public testing::TestWithParam<ExitCase> {};

TEST_P(ExitCodes, FollowWhatWasFoundAndWhatWasLeft) {
    EXPECT_EQ(ExitCodeOfFindings(GetParam().findings), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExitCodes, testing::ValuesIn(kExitCases),
                         [](const testing::TestParamInfo<ExitCase>& info) { return info.param.name; });

TEST(ConsoleReportFormat, HoldsEveryPartAndReadsBack) {
    ConsoleReport report;
    report.version = "9.8.7";
    report.startTime = 1709294400;
    report.endTime = 1709294405;
    report.bWinNT = false;
    report.outcome = ScanOutcome::Complete;
    report.exitCode = kExitWorkLeft;
    report.drives = {{"C:", ""}, {"D:", ""}, {"E:", "cdrom"}, {"N:", "network"}, {"Q:", "missing"}};
    Finding deleted;
    deleted.kind = ActionKind::FileDeleted;
    deleted.target = "C:\\a\"b\\ż.exe";
    deleted.family = "I-Worm.NetSky";
    deleted.line = "   Usunięty plik wirusa C:\\a\"b\\ż.exe (I-Worm.NetSky)";
    Finding failed;
    failed.kind = ActionKind::RegistryValueDeleted;
    failed.target = "HKEY_LOCAL_MACHINE\\Run\\x";
    failed.succeeded = false;
    report.findings = {deleted, failed};

    const std::string text = FormatConsoleReport(report);
    SJsonValue json;
    std::string error;
    ASSERT_TRUE(ParseJson(text, json, error)) << error << "\n" << text;
    EXPECT_EQ(json["program"].text, "kestro-cleaner-cli");
    EXPECT_EQ(json["version"].text, "9.8.7");
    EXPECT_EQ(json["started"].text, "2024-03-01T12:00:00Z");
    EXPECT_EQ(json["finished"].text, "2024-03-01T12:00:05Z");
    EXPECT_EQ(json["platform"].text, "9x");
    EXPECT_EQ(json["scan"].text, "complete");
    EXPECT_EQ(json["exitCode"].number, 3);

    const SJsonValue& walked = json["drives"]["walked"];
    ASSERT_EQ(walked.size(), 2u);
    EXPECT_EQ(walked[0].text, "C:");
    EXPECT_EQ(walked[1].text, "D:");
    const SJsonValue& skipped = json["drives"]["skipped"];
    ASSERT_EQ(skipped.size(), 3u);
    EXPECT_EQ(skipped[0]["drive"].text, "E:");
    EXPECT_EQ(skipped[0]["reason"].text, "cdrom");
    EXPECT_EQ(skipped[2]["reason"].text, "missing");

    // Every kind has its counts, zeros included.
    const SJsonValue& counts = json["counts"];
    EXPECT_EQ(counts.size(), 9u);
    EXPECT_EQ(counts["fileDeleted"]["succeeded"].number, 1);
    EXPECT_EQ(counts["fileDeleted"]["failed"].number, 0);
    EXPECT_EQ(counts["registryValueDeleted"]["succeeded"].number, 0);
    EXPECT_EQ(counts["registryValueDeleted"]["failed"].number, 1);
    EXPECT_EQ(counts["infectedFileReported"]["succeeded"].number, 0);

    const SJsonValue& findings = json["findings"];
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[0]["action"].text, "fileDeleted");
    EXPECT_EQ(findings[0]["target"].text, deleted.target);
    EXPECT_EQ(findings[0]["family"].text, "I-Worm.NetSky");
    EXPECT_TRUE(findings[0]["succeeded"].boolean);
    EXPECT_EQ(findings[0]["line"].text, deleted.line);
    EXPECT_EQ(findings[1]["action"].text, "registryValueDeleted");
    EXPECT_TRUE(findings[1]["family"].IsNull()) << "a line that names no family";
    EXPECT_EQ(findings[1]["succeeded"].type, SJsonValue::Type::Bool);
    EXPECT_FALSE(findings[1]["succeeded"].boolean);
    EXPECT_TRUE(findings[1]["line"].IsNull()) << "a failed step has no line";
}

TEST(ConsoleReportFormat, EmptyListsAreStillLists) {
    ConsoleReport report;
    report.outcome = ScanOutcome::GuardOn;
    report.exitCode = kExitNotRun;
    SJsonValue json;
    std::string error;
    ASSERT_TRUE(ParseJson(FormatConsoleReport(report), json, error)) << error;
    EXPECT_EQ(json["scan"].text, "guard-on");
    EXPECT_EQ(json["platform"].text, "NT");
    EXPECT_EQ(json["drives"]["walked"].type, SJsonValue::Type::Array);
    EXPECT_EQ(json["drives"]["skipped"].type, SJsonValue::Type::Array);
    EXPECT_EQ(json["findings"].type, SJsonValue::Type::Array);
    EXPECT_EQ(json["findings"].size(), 0u);
}

TEST(ProgramVersion, IsTheProjectsVersion) { EXPECT_STREQ(ProgramVersion(), KC_EXPECTED_VERSION); }

}  // namespace
