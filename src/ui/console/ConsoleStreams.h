// The console program's standard streams: the result log on standard output
// (the console's own wide output when it is a console, UTF-8 when it was
// redirected), messages on standard error, and the path being checked on one
// status line that exists only when standard error is a console.
#pragma once

#include <windows.h>
// <windows.h> renames MessageBox to MessageBoxW; the view seam's MessageBox
// must keep the name the core compiles it with.
#undef MessageBox

#include <mutex>
#include <string>

#include "app/ConsoleView.h"

class CConsoleStreams : public IConsoleOutput {
public:
    CConsoleStreams();
    ~CConsoleStreams() override;
    CConsoleStreams(const CConsoleStreams&) = delete;
    CConsoleStreams& operator=(const CConsoleStreams&) = delete;

    void WriteLine(const std::string& line) override;
    void WriteMessage(const std::string& text) override;
    void ShowPath(const std::string& path) override;
    // Takes the status line away, so the shell's prompt starts clean.
    void ClearStatus();

private:
    struct CStream {
        HANDLE handle = INVALID_HANDLE_VALUE;
        bool bConsole = false;
    };
    void Write(const CStream& stream, const std::string& text);
    void ClearStatusLocked();

    std::mutex m_mutex;
    CStream m_log;
    CStream m_err;
    bool m_bOwnLogHandle = false;
    bool m_bStatusShown = false;
    DWORD m_dwLastStatus = 0;
};
