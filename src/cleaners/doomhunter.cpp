// Worm.DoomHunter: a body started from the Run key under a name of its own,
// known only by its content, and the webcheck component's in-process server
// that it takes over.
#include <string>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"

namespace {

constexpr int kFamilyCode = 17;
const char* const kFamily = "Worm.DoomHunter";
// The kill line has always said I-Worm, the deletion line Worm; both are
// kept as the log has always read.
const char* const kKillTag = " (I-Worm.DoomHunter)";
const char* const kDeletedTag = " (Worm.DoomHunter)";

}  // namespace

void CCleanerDlg::CleanDoomHunter() {
    // The worm's Run value: the autostart checks delete a value of this name
    // whatever it starts.
    RegisterVirusNames({"Delete Me"}, kFamily);

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
        KillProcessByName({path, LoadText(IDS_VIRUS_MODULE_STOPPED) + kKillTag}, true);
        VirusFileTags tags;
        tags.deleted = kDeletedTag;
        RemoveVirusFile(path, RemoveFileOptions::Short(), tags);
    });

    RestoreWebcheckServer(LoadText(IDS_REGISTRY_KEY_RESTORED));
}
