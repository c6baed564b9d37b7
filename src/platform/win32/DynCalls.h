// Entry points that exist on one Windows family only, resolved by name at
// run time in this one place so that one executable serves both families.
// Every pointer may be null and is tested before use.
#pragma once

#include <windows.h>
#include <tlhelp32.h>
#include <wininet.h>

struct ToolHelpCalls {
    decltype(&CreateToolhelp32Snapshot) createSnapshot = nullptr;
    decltype(&Process32FirstW) processFirst = nullptr;
    decltype(&Process32NextW) processNext = nullptr;
};

struct ProcessStatusCalls {
    BOOL(WINAPI* enumProcessModules)(HANDLE, HMODULE*, DWORD, LPDWORD) = nullptr;
    DWORD(WINAPI* getModuleFileNameEx)(HANDLE, HMODULE, LPWSTR, DWORD) = nullptr;
};

struct InternetCacheCalls {
    decltype(&FindFirstUrlCacheEntryW) findFirst = nullptr;
    decltype(&FindNextUrlCacheEntryW) findNext = nullptr;
    decltype(&DeleteUrlCacheEntryW) deleteEntry = nullptr;
    decltype(&FindCloseUrlCache) findClose = nullptr;
};

struct InternetDownloadCalls {
    decltype(&InternetOpenW) open = nullptr;
    decltype(&InternetSetOptionW) setOption = nullptr;
    decltype(&InternetOpenUrlW) openUrl = nullptr;
    decltype(&HttpQueryInfoW) queryInfo = nullptr;
    decltype(&InternetQueryDataAvailable) queryDataAvailable = nullptr;
    decltype(&InternetReadFile) readFile = nullptr;
    decltype(&InternetCloseHandle) closeHandle = nullptr;
};

// The kernel's tool-help functions, from the already loaded module: the
// 9x family has them, NT 4.0 does not.
const ToolHelpCalls& ToolHelp();
// The process-status library, loaded from the system directory on first
// use and kept for the life of the program.
const ProcessStatusCalls& ProcessStatus();
// The Internet library's cache functions, loaded like the process-status
// library; a system without the library has no cache to clean.
const InternetCacheCalls& InternetCache();
// The Internet library's download functions, from the same library.
const InternetDownloadCalls& InternetDownload();
