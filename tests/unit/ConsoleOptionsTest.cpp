// The console program's command line: its options, the errors a script
// gets for a bad one, and the dialog's "noguard" word.
#include <gtest/gtest.h>

#include <ostream>

#include "app/ConsoleOptions.h"
#include "app/Version.h"

namespace {

struct OptionsCase {
    const char* name;
    std::vector<std::string> args;
    bool ok;
    const char* errorPart;  // part of the message when not ok
    bool help, network, fullScan;
    std::vector<std::string> drives;
    std::string report;
};

void PrintTo(const OptionsCase& c, std::ostream* os) { *os << c.name; }

const OptionsCase kOptionsCases[] = {
    {"NoArgumentsScanEverythingButTheNetwork", {}, true, "", false, false, false, {}, ""},
    {"EveryOption",
     {"--network", "--start-full-scan", "--drives", "c:,D:", "--report", "C:\\raport.json"},
     true, "", false, true, true, {"C:", "D:"}, "C:\\raport.json"},
    {"ValuesAfterAnEqualsSign", {"--drives=C", "--report=r.json"}, true, "", false, false, false, {"C:"}, "r.json"},
    {"DriveNamesWithRootBackslashAndBlanksRepeatsDropped",
     {"--drives", " e:\\ ,C:,e"}, true, "", false, false, false, {"E:", "C:"}, ""},
    {"Help", {"--help"}, true, "", true, false, false, {}, ""},
    {"ShortHelp", {"/?"}, true, "", true, false, false, {}, ""},
    // The dialog switches the guard off for "noguard" anywhere in its
    // command line, a longer word holding it too; such a word is no error.
    {"NoguardWord", {"noguard"}, true, "", false, false, false, {}, ""},
    {"NoguardInsideAnotherWord", {"/xnoguardx", "--network"}, true, "", false, true, false, {}, ""},
    {"NoguardInsideAnOptionLikeWord", {"--noguard"}, true, "", false, false, false, {}, ""},
    {"NoguardInAReportNameIsTheReportName", {"--report", "noguard.json"}, true, "", false, false, false, {},
     "noguard.json"},
    {"NoguardIsCaseSensitiveAsInTheDialog", {"NOGUARD"}, false, "Nieznany argument: NOGUARD", false, false, false,
     {}, ""},
    {"UnknownOption", {"--netwrok"}, false, "Nieznana opcja: --netwrok", false, false, false, {}, ""},
    {"UnknownSlashOption", {"/auto"}, false, "Nieznana opcja: /auto", false, false, false, {}, ""},
    {"FlagWithAValue", {"--network=yes"}, false, "Nieznana opcja: --network=yes", false, false, false, {}, ""},
    {"StrayWord", {"C:"}, false, "Nieznany argument: C:", false, false, false, {}, ""},
    {"ReportWithoutValue", {"--report"}, false, "--report wymaga", false, false, false, {}, ""},
    {"ReportWithEmptyValue", {"--report="}, false, "--report wymaga", false, false, false, {}, ""},
    {"ReportTwice", {"--report", "a.json", "--report", "b.json"}, false, "więcej niż raz", false, false, false, {},
     ""},
    {"DrivesWithoutValue", {"--network", "--drives"}, false, "--drives wymaga", false, false, false, {}, ""},
    {"DrivesTwice", {"--drives", "C:", "--drives", "D:"}, false, "więcej niż raz", false, false, false, {}, ""},
    {"EmptyDriveInTheList", {"--drives", "C:,,D:"}, false, "\"\"", false, false, false, {}, ""},
    {"DriveWithAPath", {"--drives", "C:\\Windows"}, false, "C:\\Windows", false, false, false, {}, ""},
    {"DriveThatIsNoLetter", {"--drives", "1:"}, false, "\"1:\"", false, false, false, {}, ""},
};

class ConsoleOptionsTable : public testing::TestWithParam<OptionsCase> {};

TEST_P(ConsoleOptionsTable, ParsesOrExplains) {
    const OptionsCase& c = GetParam();
    ConsoleOptions options;
    options.bNetwork = true;  // a parse starts from the defaults, whatever it is handed
    std::string error;
    ASSERT_EQ(ParseConsoleOptions(c.args, options, error), c.ok) << error;
    if (!c.ok) {
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
        return;
    }
    EXPECT_EQ(error, "");
    EXPECT_EQ(options.bHelp, c.help);
    EXPECT_EQ(options.bNetwork, c.network);
    EXPECT_EQ(options.bStartFullScan, c.fullScan);
    EXPECT_EQ(options.drives, c.drives);
    EXPECT_EQ(options.reportPath, c.report);
}

INSTANTIATE_TEST_SUITE_P(Rows, ConsoleOptionsTable, testing::ValuesIn(kOptionsCases),
                         [](const testing::TestParamInfo<OptionsCase>& info) { return info.param.name; });

struct CommandLineCase {
    const char* name;
    const char* line;
    const char* arguments;
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

const CommandLineCase kCommandLineCases[] = {
    {"PlainName", "kestro-cleaner-cli.exe --network", "--network"},
    {"QuotedNameWithBlanks", "\"C:\\Program Files\\kc\\kestro-cleaner-cli.exe\"  noguard x", "noguard x"},
    // The program's own folder may hold the word; only the arguments count.
    {"WordInTheProgramsPathIsNotAnArgument", "\"C:\\noguard\\kestro-cleaner-cli.exe\"", ""},
    {"NameOnly", "kestro-cleaner-cli", ""},
    {"QuoteNotClosed", "\"C:\\kc\\cli.exe --help", ""},
    {"Empty", "", ""},
};

class CommandLineArgumentsTable : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineArgumentsTable, TakesTheProgramsNameOff) {
    EXPECT_EQ(CommandLineArguments(GetParam().line), GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(Rows, CommandLineArgumentsTable, testing::ValuesIn(kCommandLineCases),
                         [](const testing::TestParamInfo<CommandLineCase>& info) { return info.param.name; });

TEST(ConsoleHelp, NamesEveryOptionAndTheVersion) {
    std::string text;
    for (const std::string& line : ConsoleHelpLines()) text += line + "\n";
    for (const char* option : {"--network", "--start-full-scan", "--drives", "--report", "--help", "noguard"}) {
        EXPECT_NE(text.find(option), std::string::npos) << option;
    }
    EXPECT_NE(text.find(ProgramVersion()), std::string::npos);
    EXPECT_NE(text.find("Kod wyjścia"), std::string::npos);
}

}  // namespace
