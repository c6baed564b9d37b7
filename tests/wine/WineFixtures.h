// What the end-to-end tests set up around the program: where it is installed
// inside the Wine prefix, the texts it is expected to show, registry values
// that are put back after each test, and directory trees planted on the test
// drives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The test drives that tests/wine/wine-run maps into the prefix. The suite
// refuses to run on any other drive layout: the program deletes files on every
// drive it walks, and the tests empty these drives.
inline constexpr wchar_t kRemovableDrive[] = L"D:";
inline constexpr wchar_t kCdromDrive[] = L"E:";
inline constexpr wchar_t kNetworkDrive[] = L"N:";

// Everything the tests put on drive C: lives in a folder whose name starts
// with this; the suite removes such folders left by a killed run, and removes
// nothing else on C:.
inline constexpr wchar_t kPlantPrefixOnC[] = L"C:\\kc-";
// Only what the tests plant may be removed: the test drives' contents and, on
// C:, the folders whose names start with "kc-".
bool IsInsideTestArea(const std::wstring& path);
// Where the suite installs the program (and its helpers) on drive C:.
inline constexpr wchar_t kInstallDir[] = L"C:\\kc-test";
std::wstring InstalledProgramPath();
std::wstring InstalledMarkerPath();

// The program's registry keys and values, as a user's machine would have them.
inline constexpr wchar_t kGuardKey[] = L"SOFTWARE\\KESTRO\\TVXWaechter\\Generic";
inline constexpr wchar_t kGuardValue[] = L"MonitorOn";
inline constexpr wchar_t kProductKey[] = L"SOFTWARE\\KESTRO\\Tervix\\Plan";
inline constexpr wchar_t kProductValue[] = L"tvxexe";

std::wstring FromUtf8(const std::string& utf8);
std::string ToUtf8(const std::wstring& utf16);

// Text of the compiled string table, as the program should show it.
std::wstring Text(std::uint32_t id);
std::wstring ProductTitle();
std::vector<std::wstring> Texts(std::initializer_list<std::uint32_t> ids);
// The result log right after start-up.
std::vector<std::wstring> StartupLines();

// Joins lines for a readable failure message.
std::string Describe(const std::vector<std::wstring>& lines);

// A registry value that the test sets and that is put back as it was (value,
// and any keys created on the way to it) when the object goes away.
class CScopedRegValue {
public:
    CScopedRegValue(HKEY root, std::wstring key, std::wstring value);
    ~CScopedRegValue();
    CScopedRegValue(const CScopedRegValue&) = delete;
    CScopedRegValue& operator=(const CScopedRegValue&) = delete;

    void Set(DWORD type, const std::vector<BYTE>& data);
    void SetString(const std::wstring& data);
    // Takes note of the value as it stands, so that it is put back even when
    // only the program under test changes it.
    void Keep();

private:
    void Restore();

    HKEY m_hRoot;
    std::wstring m_strKey;
    std::wstring m_strValue;
    bool m_bHadValue = false;
    DWORD m_dwOldType = 0;
    std::vector<BYTE> m_oldData;
    std::vector<std::wstring> m_createdKeys;  // deepest last
    bool m_bTouched = false;
};

// The Windows version Wine reports to the program, set per program name as
// Wine's configuration does it; empty means Wine's default.
class CScopedWindowsVersion {
public:
    explicit CScopedWindowsVersion(const std::wstring& version);

private:
    CScopedRegValue m_value;
};

// Directories and files planted for one test and removed with it.
class CPlantedTree {
public:
    explicit CPlantedTree(std::wstring root);
    ~CPlantedTree();
    CPlantedTree(const CPlantedTree&) = delete;
    CPlantedTree& operator=(const CPlantedTree&) = delete;

    const std::wstring& Root() const { return m_strRoot; }
    // A chain root\a\b\...; returns the deepest directory.
    std::wstring AddChain(const std::vector<std::wstring>& names);
    // fanout + fanout^2 + ... + fanout^depth directories, so that walking
    // them takes a while.
    void AddBushyTree(int fanout, int depth);

private:
    void AddBushyLevel(const std::wstring& dir, int fanout, int depth);

    std::wstring m_strRoot;
};

// `path` with the long-path prefix when it is too long for the plain form.
std::wstring LongPath(const std::wstring& path);
void CreateDirectoryChecked(const std::wstring& path);
void WriteFileChecked(const std::wstring& path, const std::string& content);
bool FileExists(const std::wstring& path);
std::string ReadWholeFile(const std::wstring& path);

// A path on this build machine, as Wine lets a Windows program open it.
std::wstring HostPath(const std::string& unixPath);
