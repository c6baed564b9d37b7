#include "ProgramDriver.h"

#include <cstdio>
#include <set>
#include <stdexcept>
#include <thread>

#include "WineFixtures.h"

namespace {

constexpr std::chrono::milliseconds kPollInterval{10};
// How long one message to the program may take before the program counts as
// hung. Its UI thread only ever waits for the scan thread's short messages,
// but a loaded two-core machine running Wine was seen to take over five
// seconds to deliver one.
constexpr UINT kSendTimeoutMs = 20000;
// The deadline alone decides, not the system's idea of a hung thread: the
// program's message boxes belong to its scan thread, which has not read a
// message since the scan began, so while a box is being made Wine counts
// that thread as hung (no message read for five seconds) and a send that
// gives up on hung threads fails at once.
constexpr UINT kSendFlags = SMTO_NORMAL;
// The static that holds a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;
// The information dialog's first entry: its other statics carry the id a
// message box's text has.
constexpr int kInfoFirstEntryId = 1009;

std::wstring ClassName(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 63);
    return name;
}

struct SEnumContext {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectDialogsOfProcess(HWND hwnd, LPARAM lParam) {
    auto* context = reinterpret_cast<SEnumContext*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == context->pid && IsWindowVisible(hwnd) && ClassName(hwnd) == L"#32770") {
        context->windows.push_back(hwnd);
    }
    return TRUE;
}

std::vector<HWND> DialogsOfProcess(DWORD pid) {
    SEnumContext context{pid, {}};
    EnumWindows(CollectDialogsOfProcess, reinterpret_cast<LPARAM>(&context));
    return context.windows;
}

std::string Seconds(std::chrono::milliseconds d) { return std::to_string(d.count() / 1000.0).substr(0, 5) + " s"; }

}  // namespace

CProgramDriver::CProgramDriver(std::wstring programPath) : m_strProgram(std::move(programPath)) {}

CProgramDriver::~CProgramDriver() {
    if (m_process.hProcess) {
        if (IsRunning()) {
            TerminateProcess(m_process.hProcess, 1);
            WaitForSingleObject(m_process.hProcess, 10000);
        }
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
    }
}

void CProgramDriver::Start(const std::wstring& arguments) {
    if (m_process.hProcess) Fail("the program was started already");
    std::wstring commandLine = L"\"" + m_strProgram + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    std::wstring directory = m_strProgram.substr(0, m_strProgram.rfind(L'\\'));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(m_strProgram.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &m_process)) {
        m_process = {};
        Fail("cannot start " + ToUtf8(commandLine) + ", error " + std::to_string(GetLastError()));
    }
    WaitFor([this] { return (m_hDialog = FindMainDialog()) != nullptr; }, "the main dialog to appear", kUiTimeout);
}

bool CProgramDriver::IsRunning() const {
    return m_process.hProcess && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
}

HWND CProgramDriver::FindMainDialog() const {
    for (HWND hwnd : DialogsOfProcess(m_process.dwProcessId)) {
        if (GetDlgItem(hwnd, kResultLog)) return hwnd;
    }
    return nullptr;
}

HWND CProgramDriver::Control(int id) const {
    HWND hwnd = m_hDialog ? GetDlgItem(m_hDialog, id) : nullptr;
    if (!hwnd) Fail("the main dialog has no control " + std::to_string(id));
    return hwnd;
}

LRESULT CProgramDriver::Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, kSendFlags, kSendTimeoutMs, &result)) {
        char name[16];
        snprintf(name, sizeof name, "0x%04X", message);
        throw std::runtime_error(std::string("the program did not answer message ") + name + " within " +
                                 std::to_string(kSendTimeoutMs) + " ms");
    }
    return static_cast<LRESULT>(result);
}

std::wstring CProgramDriver::WindowText(HWND hwnd) const {
    const LRESULT length = Send(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT got = Send(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(got));
    return text;
}

std::vector<std::wstring> CProgramDriver::LogLines() const {
    HWND log = Control(kResultLog);
    const LRESULT count = Send(log, LB_GETCOUNT, 0, 0);
    std::vector<std::wstring> lines;
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = Send(log, LB_GETTEXTLEN, i, 0);
        if (length == LB_ERR) Fail("the result log lost line " + std::to_string(i) + " while it was read");
        std::wstring line(static_cast<std::size_t>(length) + 1, L'\0');
        const LRESULT got = Send(log, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        line.resize(got == LB_ERR ? 0 : static_cast<std::size_t>(got));
        lines.push_back(line);
    }
    return lines;
}

std::wstring CProgramDriver::ControlText(int id) const { return WindowText(Control(id)); }

std::wstring CProgramDriver::Caption() const {
    if (!m_hDialog) Fail("no main dialog");
    return WindowText(m_hDialog);
}

bool CProgramDriver::IsControlEnabled(int id) const { return IsWindowEnabled(Control(id)) != 0; }

bool CProgramDriver::HasChildOfClass(const wchar_t* className) const {
    if (!m_hDialog) Fail("no main dialog");
    return FindWindowExW(m_hDialog, nullptr, className, nullptr) != nullptr;
}

void CProgramDriver::Click(int id) {
    HWND button = Control(id);
    if (!IsWindowEnabled(m_hDialog)) Fail("cannot click " + std::to_string(id) + ": the dialog is disabled");
    if (!IsWindowEnabled(button)) Fail("cannot click " + std::to_string(id) + ": the button is disabled");
    // Posted, not sent: a click may open a modal box, and a sent message would
    // only return when that box is closed.
    PostMessageW(m_hDialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void CProgramDriver::ClickIn(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) Fail("the dialog has no control " + std::to_string(id));
    if (!IsWindowEnabled(dialog)) Fail("cannot click " + std::to_string(id) + ": its dialog is disabled");
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

HWND CProgramDriver::WaitForDialog(int id, const std::string& what, Duration timeout) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND hwnd : DialogsOfProcess(m_process.dwProcessId)) {
                if (hwnd != m_hDialog && GetDlgItem(hwnd, id)) {
                    found = hwnd;
                    return true;
                }
            }
            return false;
        },
        what, timeout);
    return found;
}

void CProgramDriver::Sync() const {
    if (!m_hDialog) Fail("no main dialog");
    Send(m_hDialog, WM_NULL, 0, 0);
}

std::vector<SMessageBox> CProgramDriver::MessageBoxes() const {
    std::vector<SMessageBox> boxes;
    if (!m_process.hProcess) return boxes;
    for (HWND hwnd : DialogsOfProcess(m_process.dwProcessId)) {
        HWND text = GetDlgItem(hwnd, kMessageBoxTextId);
        if (!text || GetDlgItem(hwnd, kResultLog) || GetDlgItem(hwnd, kInfoFirstEntryId)) continue;
        SMessageBox box;
        box.hwnd = hwnd;
        box.caption = WindowText(hwnd);
        box.text = WindowText(text);
        for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
            // A message box may keep the buttons of other styles, hidden.
            HWND button = GetDlgItem(hwnd, id);
            if (button && IsWindowVisible(button)) box.buttons.push_back(id);
        }
        boxes.push_back(box);
    }
    return boxes;
}

SMessageBox CProgramDriver::WaitForMessageBox(const std::string& what, Duration timeout) {
    SMessageBox found;
    WaitFor(
        [&] {
            const std::vector<SMessageBox> boxes = MessageBoxes();
            if (boxes.size() > 1) Fail("more than one message box is open");
            if (boxes.empty()) return false;
            found = boxes.front();
            return true;
        },
        "a message box: " + what, timeout);
    return found;
}

void CProgramDriver::Answer(const SMessageBox& box, int buttonId) {
    HWND button = GetDlgItem(box.hwnd, buttonId);
    if (!button || !IsWindowVisible(button)) {
        Fail("the message box \"" + ToUtf8(box.text) + "\" has no button " + std::to_string(buttonId));
    }
    PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    WaitFor([&] { return !IsWindow(box.hwnd); }, "the message box to close", kUiTimeout);
}

void CProgramDriver::WaitUntilScanning() {
    const std::wstring abortText = Text(32);
    WaitFor([&] { return !IsControlEnabled(kScanButton) && ControlText(kExitButton) == abortText; },
            "the scan to start", kUiTimeout);
}

void CProgramDriver::WaitUntilIdle(Duration timeout) {
    // The scan thread enables "Skanuj" and then renames the exit button, so
    // idle is "Skanuj" enabled and the button no longer reading "Przerwij";
    // a wrong name then fails at once instead of at the deadline.
    const std::wstring abortText = Text(32);
    std::wstring exitText;
    WaitFor(
        [&] {
            const std::vector<SMessageBox> boxes = MessageBoxes();
            if (!boxes.empty()) Fail("an unexpected message box showed: \"" + ToUtf8(boxes.front().text) + "\"");
            exitText = ControlText(kExitButton);
            return IsControlEnabled(kScanButton) && exitText != abortText;
        },
        "the scan to end", timeout);
    if (exitText != Text(33)) Fail("after the scan the exit button reads \"" + ToUtf8(exitText) + "\"");
}

std::wstring CProgramDriver::WaitForPath(const std::function<bool(const std::wstring&)>& accept,
                                         const std::string& what, Duration timeout) {
    std::wstring path;
    WaitFor(
        [&] {
            path = ControlText(kPathField);
            return accept(path);
        },
        "the path field to show " + what, timeout);
    return path;
}

void CProgramDriver::SamplePath() {
    if (!m_hDialog || !IsWindow(m_hDialog)) return;
    std::wstring path = ControlText(kPathField);
    if (m_pathHistory.empty() || m_pathHistory.back() != path) m_pathHistory.push_back(std::move(path));
}

void CProgramDriver::WaitFor(const std::function<bool()>& done, const std::string& what, Duration timeout) {
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + timeout;
    for (;;) {
        SamplePath();
        if (done()) return;
        if (!IsRunning()) {
            DWORD code = 0;
            GetExitCodeProcess(m_process.hProcess, &code);
            m_hDialog = nullptr;
            Fail("the program ended (exit code " + std::to_string(code) + ") while the test waited for " + what);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Fail("gave up after " + Seconds(timeout) + " waiting for " + what);
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

DWORD CProgramDriver::ExitWithButton() {
    Click(kExitButton);
    if (WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(kUiTimeout.count())) != WAIT_OBJECT_0) {
        Fail("the program did not end within " + Seconds(kUiTimeout) + " after \"" + ToUtf8(Text(33)) + "\"");
    }
    m_hDialog = nullptr;
    DWORD code = 0;
    GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}

SScreenshot CProgramDriver::SaveScreenshot(const std::wstring& bmpPath) const {
    if (!m_hDialog) Fail("no main dialog");
    return SaveWindowScreenshot(m_hDialog, bmpPath);
}

SScreenshot CProgramDriver::SaveWindowScreenshot(HWND window, const std::wstring& bmpPath) const {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) Fail("no such window to take a picture of");
    SScreenshot shot;
    shot.path = bmpPath;
    shot.width = rect.right - rect.left;
    shot.height = rect.bottom - rect.top;
    if (shot.width <= 0 || shot.height <= 0) Fail("the window has no area on the screen");

    // The screen, not the window: under Wine a window of another process
    // paints nothing into a device context of ours (PrintWindow stays blank),
    // while the screen holds what the X server shows.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shot.width;
    info.bmiHeader.biHeight = shot.height;  // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const BOOL copied = BitBlt(memory, 0, 0, shot.width, shot.height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();

    const DWORD stride = (static_cast<DWORD>(shot.width) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(shot.height);
    std::string file;
    if (copied && bits) {
        BITMAPFILEHEADER header{};
        header.bfType = 0x4D42;  // "BM"
        header.bfOffBits = sizeof header + sizeof info.bmiHeader;
        header.bfSize = header.bfOffBits + imageSize;
        info.bmiHeader.biSizeImage = imageSize;
        file.append(reinterpret_cast<const char*>(&header), sizeof header);
        file.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
        file.append(static_cast<const char*>(bits), imageSize);

        std::set<DWORD> colours;
        const auto* pixels = static_cast<const BYTE*>(bits);
        for (int y = 0; y < shot.height && colours.size() < 256; ++y) {
            for (int x = 0; x < shot.width; ++x) {
                const BYTE* p = pixels + y * stride + x * 3;
                colours.insert(p[0] | (p[1] << 8) | (p[2] << 16));
            }
        }
        shot.colours = colours.size();
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (file.empty()) Fail("could not copy the window from the screen");
    WriteFileChecked(bmpPath, file);
    return shot;
}

std::string CProgramDriver::DescribeState() const {
    std::string state;
    try {
        if (!m_hDialog || !IsWindow(m_hDialog)) return "\n  (no main dialog)";
        state += "\n  caption: \"" + ToUtf8(Caption()) + "\"";
        state += "\n  Skanuj enabled: " + std::string(IsControlEnabled(kScanButton) ? "yes" : "no");
        state += "\n  exit button: \"" + ToUtf8(ControlText(kExitButton)) + "\"";
        state += "\n  path field: \"" + ToUtf8(ControlText(kPathField)) + "\"";
        for (const SMessageBox& box : MessageBoxes()) state += "\n  message box: \"" + ToUtf8(box.text) + "\"";
        state += "\n  result log:" + Describe(LogLines());
    } catch (const std::exception& e) {
        state += std::string("\n  (") + e.what() + ")";
    }
    return state;
}

void CProgramDriver::Fail(const std::string& message) const {
    throw std::runtime_error(message + DescribeState());
}
