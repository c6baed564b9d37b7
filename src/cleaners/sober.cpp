// I-Worm.Sober: a body started from the Run key, known only by its content.
#include <string>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"

namespace {

constexpr int kFamilyCode = 19;
const char* const kTag = " (I-Worm.Sober)";

}  // namespace

void CCleanerDlg::CleanSober() {
    RunCommandOptions options;
    options.bExpandPlaceholders = true;
    options.trim = RunTrimRule::Dot;
    options.base = RunBaseDir::System;
    ForEachRunValue([&](const RunValue& value) {
        const std::string path = NormalizeRunCommand(value.data, options);
        // The classifier deletes a body it recognises itself, but not one
        // that is running; the cleaner stops it and deletes it now.
        // The Run value is left to the autostart checks.
        if (path.empty() || ClassifyFile(path) != kFamilyCode) return;
        KillProcessByName({path, LoadText(IDS_VIRUS_MODULE_STOPPED) + kTag}, true);
        VirusFileTags tags;
        tags.deleted = kTag;
        RemoveVirusFile(path, RemoveFileOptions::Short(), tags);
    });
}
