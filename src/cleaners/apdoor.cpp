// Backdoor: Apdoor.c: no fixed names; the classifier finds the body behind a
// machine-wide Run value, and the value's name is what the backdoor calls
// its program and its library. When no Run value leads to it, the running
// processes are looked at instead.
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "cleaners/CleanerPattern.h"
#include "sys/Text.h"

namespace {

constexpr int kFamilyApdoor = 2;
const char* const kFamily = "Backdoor: Apdoor.c";

const char* const kExtensions[] = {".exe", ".tmp", ".dll"};

}  // namespace

bool CCleanerDlg::CleanApdoor() {
    RunCommandOptions options;
    options.bExpandPlaceholders = false;
    options.trim = RunTrimRule::Exe;
    options.base = RunBaseDir::System;

    std::vector<std::string> values{kRunKeyPath};
    ReadRegistryValues(values, 0);
    std::vector<std::string> names;
    for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
        const std::string& valueName = values[i];
        const std::string path = NormalizeRunCommand(values[i + 1], options);
        // The classifier removes a recognised body itself.
        if (path.empty() || ClassifyFile(path) != kFamilyApdoor) continue;
        // The key's unnamed value would register the bare endings, and a
        // registered name is searched for in the data of every Run value:
        // ".exe" would take them all.
        if (valueName.empty()) continue;
        const std::string stem = ToLowerName(valueName);
        names.push_back(stem + ".exe");
        names.push_back(stem + ".dll");
    }

    if (!names.empty()) {
        RegisterVirusNames(names, kFamily);
    } else {
        // No Run value named the backdoor: it may still run, started some
        // other way, and the memory scan is what finds it by its content.
        ScanMemory();
    }

    for (const char* extension : kExtensions) m_walker.AddExtension(extension);
    return true;
}
