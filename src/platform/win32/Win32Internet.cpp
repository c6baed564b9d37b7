#include <windows.h>
#include <wininet.h>

#include "platform/win32/DynCalls.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace {

HINTERNET IH(InternetHandle h) { return reinterpret_cast<HINTERNET>(h); }
std::int32_t LastError() { return static_cast<std::int32_t>(GetLastError()); }

}  // namespace

bool CWin32Platform::InternetAvailable() {
    const InternetDownloadCalls& wininet = InternetDownload();
    return wininet.open && wininet.setOption && wininet.openUrl && wininet.queryInfo && wininet.queryDataAvailable &&
           wininet.readFile && wininet.closeHandle;
}

std::int32_t CWin32Platform::InternetOpenSession(const std::string& agent, InternetHandle& out) {
    out = 0;
    const InternetDownloadCalls& wininet = InternetDownload();
    if (!wininet.open) return ERROR_PROC_NOT_FOUND;
    const HINTERNET h = wininet.open(Widen(agent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!h) return LastError();
    out = reinterpret_cast<InternetHandle>(h);
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::InternetSetTimeouts(InternetHandle session, std::uint32_t milliseconds) {
    const InternetDownloadCalls& wininet = InternetDownload();
    if (!wininet.setOption) return ERROR_PROC_NOT_FOUND;
    DWORD value = milliseconds;
    for (const DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        if (!wininet.setOption(IH(session), option, &value, sizeof value)) return LastError();
    }
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::InternetOpenAddress(InternetHandle session, const std::string& url, std::uint32_t flags,
                                                 InternetHandle& out) {
    out = 0;
    const InternetDownloadCalls& wininet = InternetDownload();
    if (!wininet.openUrl) return ERROR_PROC_NOT_FOUND;
    const HINTERNET h = wininet.openUrl(IH(session), Widen(url).c_str(), nullptr, 0, flags, 0);
    if (!h) return LastError();
    out = reinterpret_cast<InternetHandle>(h);
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::HttpQueryStatus(InternetHandle request, std::uint32_t& status) {
    const InternetDownloadCalls& wininet = InternetDownload();
    if (!wininet.queryInfo) return ERROR_PROC_NOT_FOUND;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!wininet.queryInfo(IH(request), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)) {
        return LastError();
    }
    status = value;
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::InternetQueryAvailable(InternetHandle request, std::uint32_t& available) {
    const InternetDownloadCalls& wininet = InternetDownload();
    if (!wininet.queryDataAvailable) return ERROR_PROC_NOT_FOUND;
    DWORD n = 0;
    if (!wininet.queryDataAvailable(IH(request), &n, 0, 0)) return LastError();
    available = n;
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::InternetRead(InternetHandle request, std::uint8_t* buffer, std::uint32_t length,
                                          std::uint32_t& read) {
    read = 0;
    const InternetDownloadCalls& wininet = InternetDownload();
    if (!wininet.readFile) return ERROR_PROC_NOT_FOUND;
    DWORD n = 0;
    if (!wininet.readFile(IH(request), buffer, length, &n)) return LastError();
    read = n;
    return ERROR_SUCCESS;
}

void CWin32Platform::InternetClose(InternetHandle handle) {
    const InternetDownloadCalls& wininet = InternetDownload();
    if (wininet.closeHandle && handle) wininet.closeHandle(IH(handle));
}
