// A family cleaner's test bench: the dialog on a fresh simulated machine with
// its start-up lines set aside, files planted on C: by their Windows paths,
// and the registry, the files and the name registry read back.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TestMachine.h"
#include "app/StringIds.h"

namespace bench {

inline const RegKey HKLM = winroot::kLocalMachine;
inline const RegKey HKCU = winroot::kCurrentUser;
inline const RegKey HKCR = winroot::kClassesRoot;
inline constexpr std::uint32_t NT = VER_PLATFORM_WIN32_NT;
inline constexpr std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;

inline std::string T(std::uint32_t id) { return BuiltInString(id); }
inline std::string PlatformName(std::uint32_t platform) { return platform == NT ? "NT" : "Win9x"; }

// What no rule of the classifier matches.
inline constexpr const char* kPlainProgram = "MZ an ordinary program";

class CFamilyBench {
public:
    explicit CFamilyBench(std::uint32_t platform = NT) : t(platform) {
        t.view.ResetLog();
        m_findingsBefore = t.view.Findings().size();
        m_allBefore = t.view.AllFindings().size();
    }

    // Writes the file at `winPath` ("C:\WINDOWS\x.exe") and returns the path.
    std::string Put(const std::string& winPath, const std::string& bytes = kPlainProgram) {
        return ::Put(t, winPath, bytes);
    }
    bool Exists(const std::string& winPath) const { return ::Exists(t, winPath); }

    std::string Value(RegKey root, const std::string& key, const std::string& name) const {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        if (!t.machine.GetValue(root, key, name, type, data)) return "<missing>";
        std::string s(data.begin(), data.end());
        return s.substr(0, s.find('\0'));
    }

    std::vector<std::string> Log() const { return t.view.Log(); }
    std::vector<Finding> Findings() const {
        const auto all = t.view.Findings();
        return std::vector<Finding>(all.begin() + static_cast<std::ptrdiff_t>(m_findingsBefore), all.end());
    }
    // The failed steps too.
    std::vector<Finding> AllFindings() const {
        const auto all = t.view.AllFindings();
        return std::vector<Finding>(all.begin() + static_cast<std::ptrdiff_t>(m_allBefore), all.end());
    }
    // Forgets the lines so far, so that a later stage's lines stand alone.
    void ClearLog() {
        t.view.ResetLog();
        m_findingsBefore = t.view.Findings().size();
        m_allBefore = t.view.AllFindings().size();
    }

    // The names registered from index `first` on.
    std::vector<std::string> NamesFrom(std::size_t first) const {
        const auto& names = t.dlg->m_virusFileNames;
        return std::vector<std::string>(names.begin() + static_cast<std::ptrdiff_t>(first), names.end());
    }
    bool HasExtension(const std::string& extension) const {
        const auto all = t.dlg->m_walker.Extensions();
        return std::find(all.begin(), all.end(), extension) != all.end();
    }

    CTestMachine t;

private:
    std::size_t m_findingsBefore = 0;
    std::size_t m_allBefore = 0;
};

// The lines of the later stages.
inline std::string KillRegisteredLine(const std::string& family, const std::string& name) {
    return T(IDS_VIRUS_FILE) + family + ": " + name + T(IDS_REMOVED_FROM_MEMORY);
}
inline std::string RunEntryLine(const std::string& family, const std::string& name) {
    return T(IDS_VIRUS_FILE) + family + ": " + name + T(10);  // " usunięty z rejestru"
}
inline std::string NamedFileLine(const std::string& family, const std::string& path) {
    return T(IDS_VIRUS_FILE_DELETED) + family + ": " + path;
}
inline std::string ModuleLine(const std::string& name) { return T(IDS_MODULE) + name + T(IDS_MODULE_STOPPED); }

}  // namespace bench
