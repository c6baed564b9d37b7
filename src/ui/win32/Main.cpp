// The program's entry: sets up the common controls and OLE, then runs the
// main dialog modally; the program ends when the dialog does.

// First: it includes <windows.h> and takes back the name MessageBox for the
// view seam before the core's headers declare it.
#include "ui/win32/MainDialog.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/CleanerDlg.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;  // tooltips and the animation control
    InitCommonControlsEx(&controls);
    // Without OLE the banner stays empty; everything else works.
    const bool ole = SUCCEEDED(OleInitialize(nullptr));
    {
        CWin32Platform platform;
        CMainDialog dialog(instance);
        CCleanerDlg core(platform, dialog);
        // The arguments only: the system hands the command line over without
        // the program's name.
        core.ApplyCommandLine(Narrow(commandLine ? commandLine : L"", commandLine ? lstrlenW(commandLine) : 0));
        dialog.DoModal(core);
    }
    if (ole) OleUninitialize();
    return 0;
}
