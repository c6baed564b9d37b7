#include "platform/win32/DynCalls.h"

#include <string>

namespace {

template <typename T>
void Resolve(HMODULE module, const char* name, T& out) {
    out = module ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Loads a system library by full path, so a planted copy beside the program
// is never picked up instead.
HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t dir[MAX_PATH];
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    std::wstring path(dir, n);
    path += L'\\';
    path += name;
    return LoadLibraryW(path.c_str());
}

// The Internet library, loaded once for the cache and the download alike.
HMODULE InternetLibrary() {
    static const HMODULE wininet = LoadSystemLibrary(L"WININET.DLL");
    return wininet;
}

}  // namespace

const ToolHelpCalls& ToolHelp() {
    static const ToolHelpCalls calls = [] {
        ToolHelpCalls c;
        const HMODULE kernel = GetModuleHandleW(L"KERNEL32.DLL");
        Resolve(kernel, "CreateToolhelp32Snapshot", c.createSnapshot);
        Resolve(kernel, "Process32FirstW", c.processFirst);
        Resolve(kernel, "Process32NextW", c.processNext);
        return c;
    }();
    return calls;
}

const ProcessStatusCalls& ProcessStatus() {
    static const ProcessStatusCalls calls = [] {
        ProcessStatusCalls c;
        const HMODULE psapi = LoadSystemLibrary(L"PSAPI.DLL");
        Resolve(psapi, "EnumProcessModules", c.enumProcessModules);
        Resolve(psapi, "GetModuleFileNameExW", c.getModuleFileNameEx);
        return c;
    }();
    return calls;
}

const InternetCacheCalls& InternetCache() {
    static const InternetCacheCalls calls = [] {
        InternetCacheCalls c;
        const HMODULE wininet = InternetLibrary();
        Resolve(wininet, "FindFirstUrlCacheEntryW", c.findFirst);
        Resolve(wininet, "FindNextUrlCacheEntryW", c.findNext);
        Resolve(wininet, "DeleteUrlCacheEntryW", c.deleteEntry);
        Resolve(wininet, "FindCloseUrlCache", c.findClose);
        return c;
    }();
    return calls;
}

const InternetDownloadCalls& InternetDownload() {
    static const InternetDownloadCalls calls = [] {
        InternetDownloadCalls c;
        const HMODULE wininet = InternetLibrary();
        Resolve(wininet, "InternetOpenW", c.open);
        Resolve(wininet, "InternetSetOptionW", c.setOption);
        Resolve(wininet, "InternetOpenUrlW", c.openUrl);
        Resolve(wininet, "HttpQueryInfoW", c.queryInfo);
        Resolve(wininet, "InternetQueryDataAvailable", c.queryDataAvailable);
        Resolve(wininet, "InternetReadFile", c.readFile);
        Resolve(wininet, "InternetCloseHandle", c.closeHandle);
        return c;
    }();
    return calls;
}
