// Drives the real program from outside, the way a user would: starts it,
// presses its buttons, answers its message boxes and reads back what its
// windows show. Every wait has a deadline; a wait that runs out, a program that
// dies, or a message box nobody expected throws std::runtime_error with a
// picture of the program's state, which fails the test that waited.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Controls of the main dialog (template 102).
enum EControlId : int {
    kPathField = 1000,
    kResultLog = 1001,
    kScanButton = 1002,
    kExitButton = 1003,
    kWebLink = 1004,
    kInfoButton = 1005,
    kMailLink = 1006,
    kBanner = 1007,
};

struct SMessageBox {
    HWND hwnd = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // the visible ones, as IDOK, IDYES, IDNO, ...
};

struct SScreenshot {
    std::wstring path;
    int width = 0;
    int height = 0;
    std::size_t colours = 0;  // distinct colours, counted up to a few hundred
};

class CProgramDriver {
public:
    using Duration = std::chrono::milliseconds;
    static constexpr Duration kUiTimeout{20000};
    // A whole scan of the prefix's drive C: under Wine, with room to spare.
    static constexpr Duration kScanTimeout{240000};

    explicit CProgramDriver(std::wstring programPath);
    ~CProgramDriver();  // ends the program by its handle if it still runs
    CProgramDriver(const CProgramDriver&) = delete;
    CProgramDriver& operator=(const CProgramDriver&) = delete;

    // Starts "<program>" followed by the arguments, and waits for its dialog.
    void Start(const std::wstring& arguments = L"");

    HWND MainDialog() const { return m_hDialog; }
    std::vector<std::wstring> LogLines() const;
    std::wstring ControlText(int id) const;
    std::wstring Caption() const;
    bool IsControlEnabled(int id) const;
    bool HasChildOfClass(const wchar_t* className) const;

    // A click as the button would send it; refuses a button a user could not
    // press (disabled, or its dialog disabled behind a modal box).
    void Click(int id);
    // The same in another dialog of the program.
    void ClickIn(HWND dialog, int id);
    // A dialog of the program other than the main one that has control `id`.
    HWND WaitForDialog(int id, const std::string& what, Duration timeout = kUiTimeout);
    // Returns once the program's UI thread has handled everything sent to it
    // before.
    void Sync() const;

    std::vector<SMessageBox> MessageBoxes() const;
    SMessageBox WaitForMessageBox(const std::string& what, Duration timeout = kScanTimeout);
    void Answer(const SMessageBox& box, int buttonId);

    // Scanning: "Skanuj" disabled and the exit button reads "Przerwij".
    void WaitUntilScanning();
    // Idle again: "Skanuj" enabled and the exit button reads "Zakończ". Any
    // message box showing meanwhile fails the wait.
    void WaitUntilIdle(Duration timeout = kScanTimeout);
    // Waits until the path field (control 1000) shows a path that satisfies
    // the predicate.
    std::wstring WaitForPath(const std::function<bool(const std::wstring&)>& accept, const std::string& what,
                             Duration timeout = kScanTimeout);
    // Every value the path field was seen to show while the driver waited, in
    // order, repeats dropped. Sampled, so a short-lived value may be missing.
    const std::vector<std::wstring>& PathHistory() const { return m_pathHistory; }

    // Presses "Zakończ" and waits for the process to end; returns its exit code.
    DWORD ExitWithButton();
    bool IsRunning() const;

    // The dialog as the screen shows it, as a 24-bit BMP file.
    SScreenshot SaveScreenshot(const std::wstring& bmpPath) const;
    // Any window of the program, the same way.
    SScreenshot SaveWindowScreenshot(HWND window, const std::wstring& bmpPath) const;

    std::string DescribeState() const;

private:
    void WaitFor(const std::function<bool()>& done, const std::string& what, Duration timeout);
    void SamplePath();
    HWND FindMainDialog() const;
    HWND Control(int id) const;
    std::wstring WindowText(HWND hwnd) const;
    LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) const;
    [[noreturn]] void Fail(const std::string& message) const;

    std::wstring m_strProgram;
    PROCESS_INFORMATION m_process{};
    HWND m_hDialog = nullptr;
    std::vector<std::wstring> m_pathHistory;
};
