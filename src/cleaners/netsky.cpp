// I-Worm.NetSky (alias Moodown): eight variants known by their Run value,
// any other body by the classifier. Each one found loses its Run value, its
// process and its file.
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "sys/Text.h"

namespace {

constexpr int kNetSkyFamilyCode = 18;

// The Run-value line has always carried this unbalanced parenthesis; the log
// readers match it as it stands.
const char* const kRunValueTag = "(I-Worm.NetSky (alias Moodown)";

struct NetSkyVariant {
    const char* dataText;   // in the raw Run data, exact case
    const char* valueName;  // the Run value's name, any case
    // Most variants are stopped before their Run value goes; 1, 2 and 6 the
    // other way round. The order shows in the log.
    bool processFirst;
    const char* killTag;
    const char* deletedTag;
    const char* restartTag;  // stands between string 9 and the path
};

// Tested in this order, all of them on every value. Variant O's kill line
// says M: that is how the result log has always read, and is kept as is.
const NetSkyVariant kVariants[] = {
    {"VisualGuard.exe", "NetDy", false, " (I-Worm.NetSky.M) ", " (I-Worm.NetSky.O) ", "(I-Worm.NetSky.O) "},
    {"AVprotect9x.exe", "9xHtProtect", false, " (I-Worm.NetSky.M) ", " (I-Worm.NetSky.M) ", "(I-Worm.NetSky.M) "},
    {"AVprotect.exe", "HtProtect", true, " (I-Worm.NetSky.L) ", " (I-Worm.NetSky.L) ", "(I-Worm.NetSky.L) "},
    {"winlogon.exe -stealth", "ICQ Net", true, " (I-Worm.NetSky.K) ", " (I-Worm.NetSky.K) ", "(I-Worm.NetSky.K) "},
    {"fooding.exe -antivirus service", "Tiny AV", true, " (I-Worm.NetSky.I) ", " (I-Worm.NetSky.I) ",
     "(I-Worm.NetSky.I) "},
    {"maja.exe -antivirus service", "Antivirus", false, " (I-Worm.NetSky.H) ", " (I-Worm.NetSky.H) ",
     "(I-Worm.NetSky.H) "},
    {"avguard.exe -av service", "Special Firewall Service", true, " (I-Worm.NetSky.G) ", " (I-Worm.NetSky.G) ",
     "(I-Worm.NetSky.G) "},
    {"svchost.exe -antivirus service", "Zone Labs Client Ex", true, " (I-Worm.NetSky.F) ", " (I-Worm.NetSky.F) ",
     "(I-Worm.NetSky.F) "},
};

// A body the classifier recognised.
const NetSkyVariant kClassified = {nullptr, nullptr, false, " (I-Worm.NetSky)", " (I-Worm.NetSky)",
                                   "(I-Worm.NetSky) "};

// Variants K and F borrow the names of programs the system runs from its own
// directory. The worm writes its copy to the Windows directory; a Run value
// of its name and text that points into the system directory (written by
// hand, or "%system%\svchost.exe -antivirus service") names the system's
// own program, and a name-and-text match proves nothing about the file. So
// the variants leave those files and their processes alone; a real body
// there is still caught by the classifier, which looks at the content.
const char* const kSystemPrograms[] = {"winlogon.exe", "svchost.exe"};

bool IsSystemProgram(const std::string& path, const std::vector<std::string>& sysDirs) {
    if (sysDirs.size() < 2 || sysDirs[1].empty()) return false;
    for (const char* program : kSystemPrograms) {
        if (EqualsNoCase(path, sysDirs[1] + "\\" + program)) return true;
    }
    return false;
}

}  // namespace

void CCleanerDlg::CleanNetSky() {
    const std::string runMessage = LoadText(IDS_VIRUS_RUN_VALUE_DELETED) + kRunValueTag;
    // Kept for the whole run and only ever appended to: every deletion
    // applies all groups so far, so a NetSky value name found under HKLM is
    // also removed from HKCU once any NetSky value turns up there.
    std::vector<std::string> table;

    RunCommandOptions options;
    options.bExpandPlaceholders = true;
    options.trim = RunTrimRule::Dot;
    options.base = RunBaseDir::Windows;  // where the worm drops its copies

    const auto deleteRunValue = [&](const RunValue& value, const std::string& name) {
        table.insert(table.end(), {kRunKeyParent, kRunKeyName, name, ""});
        RestoreRegistryValues(value.root, table, runMessage, 0);
    };
    const auto stopProcesses = [&](const std::string& path, const NetSkyVariant& variant) {
        KillProcessByName({path, LoadText(IDS_VIRUS_MODULE_STOPPED) + variant.killTag}, true);
    };
    const auto removeFile = [&](const std::string& path, const NetSkyVariant& variant) {
        const VirusFileTags tags{variant.deletedTag, variant.restartTag, RestartTagOrder::TagBeforePath,
                                 IDS_VIRUS_FILE_DELETED};
        RemoveVirusFile(path, RemoveFileOptions::Full(), tags);
    };

    ForEachRunValue([&](const RunValue& value) {
        const std::string path = NormalizeRunCommand(value.data, options);

        for (const NetSkyVariant& variant : kVariants) {
            if (value.data.find(variant.dataText) == std::string::npos) continue;
            if (!EqualsNoCase(value.name, variant.valueName)) continue;
            const bool touchFile = !IsSystemProgram(path, m_sysDirs);
            if (!variant.processFirst) deleteRunValue(value, variant.valueName);
            if (touchFile) stopProcesses(path, variant);
            if (variant.processFirst) deleteRunValue(value, variant.valueName);
            if (touchFile) removeFile(path, variant);
        }

        // Made for a variant's path too: a value renamed by a later variant
        // is still caught by its body. The classifier removes bodies of other
        // families itself, with its own line; only NetSky leads on here.
        if (path.empty() || ClassifyFile(path) != kNetSkyFamilyCode) return;
        deleteRunValue(value, value.name);
        stopProcesses(path, kClassified);
        removeFile(path, kClassified);
    });

    RestoreWebcheckServer(LoadText(IDS_REGISTRY_KEY_RESTORED));
}
