// One unattended run of the console program: the command line, the same
// scan the dialog's "Skanuj" runs, the report and the exit code. Portable;
// the Windows front end only supplies the streams and the clock.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/ConsoleOptions.h"
#include "app/ConsoleReport.h"
#include "app/ConsoleView.h"

class CConsoleScan {
public:
    using Clock = std::function<std::int64_t()>;  // seconds since 1970 UTC

    CConsoleScan(IPlatform& platform, IConsoleOutput& output, Clock clock);

    // `args`: the arguments without the program's name; `argumentLine`:
    // the same as the one line the system handed over, which decides the
    // guard word as it does in the dialog. Returns the exit code.
    int Run(const std::vector<std::string>& args, const std::string& argumentLine);

    // From any thread (a console's Ctrl+C): the disk walk stops at its next
    // check, as after "Przerwij"; the stages before it run to their end.
    void RequestAbort() { m_dlg.m_walker.m_bAbort = 1; }

    // What the last Run found and reported, for tests.
    const ConsoleReport& Report() const { return m_report; }

private:
    bool WriteReport(const std::string& path, const std::string& text, std::int32_t& error);

    IPlatform& m_platform;
    IConsoleOutput& m_output;
    Clock m_clock;
    CConsoleView m_view;
    CCleanerDlg m_dlg;
    ConsoleReport m_report;
};
