// Traces of the worm families planted on the prefix's machine the way the
// worms leave them: autostart values and hijacked settings in the registry,
// bodies that carry a family's rule windows, running copies of a body under
// a worm's file name, and entries in win.ini and system.ini. Whatever a
// planter planted is undone when it goes, so a test leaves the machine as it
// found it whatever the program under test did or failed to do.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "WineFixtures.h"

inline constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr wchar_t kRunServicesKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";

// The bytes of the body sleeper with one rule window of `family` written
// into its padding; family 0 leaves it as built, a program no rule matches.
std::string BodyImage(int family);

class CTracePlanter {
public:
    CTracePlanter();
    // Ends the processes it started, removes the files it planted, puts the
    // ini files and the registry values back.
    ~CTracePlanter();
    CTracePlanter(const CTracePlanter&) = delete;
    CTracePlanter& operator=(const CTracePlanter&) = delete;

    void SetString(HKEY root, const std::wstring& key, const std::wstring& value, const std::wstring& data);
    void SetDword(HKEY root, const std::wstring& key, const std::wstring& value, DWORD data);
    // Keeps the value as it stands now, to be put back after the test.
    void Keep(HKEY root, const std::wstring& key, const std::wstring& value);

    // A folder of ours where none is yet (a worm's own below the system
    // directory); removed once the files planted in it are gone. A folder
    // that is there already is left as it is.
    void MakeDirectory(const std::wstring& path);
    // A file of ours. Outside the folders the suite owns (C:\kc-*, the test
    // drives) only where no file is yet, so nothing of the machine's own is
    // ever overwritten or removed.
    void PlantFile(const std::wstring& path, const std::string& content);
    // A copy of the body sleeper with a rule window of `family` (0: none).
    void PlantBody(const std::wstring& path, int family);
    // Plants a body and starts it; returns once the process runs from it.
    DWORD StartBody(const std::wstring& path, int family);
    // Whether the process has ended within the wait, and with which exit
    // code: the program under test ends processes with 1, the sleeper by
    // itself with 0.
    bool HasEnded(DWORD processId, DWORD waitMs, DWORD* exitCode = nullptr) const;

    // WritePrivateProfileString into `file` (a bare name lies in the Windows
    // directory); the whole file is put back byte for byte.
    void SetIniEntry(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                     const std::wstring& value);

private:
    CScopedRegValue& Value(HKEY root, const std::wstring& key, const std::wstring& value);

    std::vector<std::unique_ptr<CScopedRegValue>> m_values;
    std::vector<std::wstring> m_files;
    std::vector<std::wstring> m_directories;                        // made here, parents first
    std::map<std::wstring, std::optional<std::string>> m_iniFiles;  // full path -> content before, if any
    std::map<DWORD, PROCESS_INFORMATION> m_processes;
};

// A value as the registry holds it now, for the checks after a scan.
std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const std::wstring& value,
                                       DWORD* type = nullptr);
bool ValueExists(HKEY root, const std::wstring& key, const std::wstring& value);
bool RegKeyExists(HKEY root, const std::wstring& key);
// The files the system is to delete at the next restart, as the requests
// stand now (the planter puts the list back when it goes).
std::vector<std::wstring> FilesDeletedAtRestart();

// The full path of an ini file as the profile functions resolve a bare name.
std::wstring IniFilePath(const std::wstring& file);
