// The command line of the console program: the dialog's questions turned
// into options, so that a script can run a whole scan unattended.
#pragma once

#include <string>
#include <vector>

struct ConsoleOptions {
    bool bHelp = false;
    bool bNetwork = false;        // walk network drives; the dialog would ask
    bool bStartFullScan = false;  // start the full product after a complete scan
    // The drives the walk is limited to, as "C:"; empty walks every drive.
    std::vector<std::string> drives;
    std::string reportPath;  // empty: no report
};

// Reads the arguments (without the program's name). False with a Polish
// message in `error` for an unknown option, a missing or repeated value or
// a bad drive name. An argument that holds the word "noguard" anywhere is
// the dialog's guard word and no error: the guard itself is switched off by
// the whole command line, as in the dialog (CCleanerDlg::ApplyCommandLine).
bool ParseConsoleOptions(const std::vector<std::string>& args, ConsoleOptions& options, std::string& error);

// The arguments part of a command line as the system hands it to a program,
// its name taken off the way the runtime takes it off: up to the closing
// quote when it starts with one, else up to the first blank.
std::string CommandLineArguments(const std::string& commandLine);

// The lines of "--help", in Polish.
std::vector<std::string> ConsoleHelpLines();
// The line that follows a message about a bad command line.
std::string ConsoleHelpHint();
