// The console program's entry: the same scan as the dialog's "Skanuj", run
// unattended with options in place of the dialog's questions; the exit code
// and the optional JSON report tell a script what happened.

// First: it includes <windows.h> and takes back the name MessageBox.
#include "ui/console/ConsoleStreams.h"

#include <atomic>
#include <ctime>

#include "app/ConsoleScan.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace {

std::atomic<CConsoleScan*> g_pScan{nullptr};
std::atomic<CConsoleStreams*> g_pStreams{nullptr};
std::atomic<int> g_interrupts{0};

// Ctrl+C does what "Przerwij" does: the stages before the disk walk finish,
// the walk stops, the report is written. A second one ends the program at
// once, as the console would without this handler.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (g_interrupts++ > 0) return FALSE;
    if (CConsoleScan* scan = g_pScan.load()) scan->RequestAbort();
    if (CConsoleStreams* streams = g_pStreams.load()) {
        streams->WriteMessage("Sprawdzanie plików zostanie przerwane (ponowne Ctrl+C kończy program od razu)");
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    CConsoleStreams streams;
    CWin32Platform platform;
    CConsoleScan scan(platform, streams, [] { return static_cast<std::int64_t>(std::time(nullptr)); });

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i], wcslen(argv[i])));
    const wchar_t* line = GetCommandLineW();
    const std::string arguments = CommandLineArguments(line ? Narrow(line, wcslen(line)) : std::string());

    g_pStreams = &streams;
    g_pScan = &scan;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const int code = scan.Run(args, arguments);
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_pScan = nullptr;
    g_pStreams = nullptr;
    streams.ClearStatus();
    return code;
}
