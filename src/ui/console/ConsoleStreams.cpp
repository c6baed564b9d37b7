#include "ui/console/ConsoleStreams.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/win32/Utf.h"

namespace {

// The status line is redrawn at most this often: a console is slow to
// write to, and the walk enters folders far faster than anyone can read.
constexpr DWORD kStatusIntervalMs = 100;

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

int ConsoleWidth(HANDLE handle) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(handle, &info)) return 80;
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    return width > 10 ? width : 80;
}

// The end of a path that is too long for the line, marked as cut.
std::wstring FitToWidth(std::wstring text, int width) {
    const auto room = static_cast<std::size_t>(width - 1);
    if (text.size() <= room) return text;
    std::size_t cut = text.size() - (room - 3);
    // Never half a surrogate pair.
    if (cut < text.size() && text[cut] >= 0xDC00 && text[cut] <= 0xDFFF) ++cut;
    return L"..." + text.substr(cut);
}

}  // namespace

CConsoleStreams::CConsoleStreams() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE log = INVALID_HANDLE_VALUE;
    // The log keeps a handle of its own to standard output, and the C
    // runtime's standard output is pointed at standard error: the process
    // list prints its privilege diagnostics with printf, and they must not
    // mix with the log a script reads.
    if (out != nullptr && out != INVALID_HANDLE_VALUE &&
        DuplicateHandle(GetCurrentProcess(), out, GetCurrentProcess(), &log, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        m_bOwnLogHandle = true;
    } else {
        log = out;
    }
    m_log = {log, IsConsole(log)};
    m_err = {GetStdHandle(STD_ERROR_HANDLE), false};
    m_err.bConsole = IsConsole(m_err.handle);
    std::fflush(stdout);
    if (_fileno(stderr) >= 0) _dup2(_fileno(stderr), _fileno(stdout));
}

CConsoleStreams::~CConsoleStreams() {
    ClearStatus();
    if (m_bOwnLogHandle) CloseHandle(m_log.handle);
}

void CConsoleStreams::Write(const CStream& stream, const std::string& text) {
    if (stream.handle == INVALID_HANDLE_VALUE || stream.handle == nullptr) return;
    if (stream.bConsole) {
        // The console shows every character whatever its code page.
        const std::wstring wide = Widen(text);
        DWORD written = 0;
        WriteConsoleW(stream.handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!WriteFile(stream.handle, text.data() + done, static_cast<DWORD>(text.size() - done), &written, nullptr) ||
            written == 0) {
            return;  // a closed pipe: the reader has gone, the scan goes on
        }
        done += written;
    }
}

void CConsoleStreams::ClearStatusLocked() {
    if (!m_bStatusShown) return;
    Write(m_err, "\r" + std::string(static_cast<std::size_t>(ConsoleWidth(m_err.handle) - 1), ' ') + "\r");
    m_bStatusShown = false;
}

void CConsoleStreams::ClearStatus() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ClearStatusLocked();
}

void CConsoleStreams::WriteLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // A log on the same console as the status line writes over it.
    if (m_log.bConsole) ClearStatusLocked();
    Write(m_log, line + (m_log.bConsole ? "\n" : "\r\n"));
}

void CConsoleStreams::WriteMessage(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ClearStatusLocked();
    Write(m_err, text + (m_err.bConsole ? "\n" : "\r\n"));
}

void CConsoleStreams::ShowPath(const std::string& path) {
    if (!m_err.bConsole) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (path.empty()) {
        ClearStatusLocked();
        return;
    }
    const DWORD now = GetTickCount();
    if (m_bStatusShown && now - m_dwLastStatus < kStatusIntervalMs) return;
    m_dwLastStatus = now;
    const int width = ConsoleWidth(m_err.handle);
    std::wstring text = FitToWidth(Widen(path), width);
    text.resize(static_cast<std::size_t>(width - 1), L' ');
    const std::wstring line = L"\r" + text;
    DWORD written = 0;
    WriteConsoleW(m_err.handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    m_bStatusShown = true;
}
