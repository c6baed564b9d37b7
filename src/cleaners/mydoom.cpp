// I-Worm.MyDoom: the variants C and D found by their Run value, any other
// body found by the classifier, the worm's marker keys and its hijack of the
// webcheck component's in-process server.
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "sys/Text.h"

namespace {

constexpr int kFamilyMyDoom = 12;
const char* const kFamily = "I-Worm.MyDoom";

// A variant is recognised by the name of its Run value (any case) together
// with a text anywhere in the path it starts (exact case, directory names
// included): the name alone is too common to act on.
struct MyDoomVariant {
    const char* valueName;
    const char* pathText;
    const char* tag;         // kill and deletion lines
    const char* restartTag;  // stands before the path in the restart line
    RemoveFileOptions removal;
};

// The restart tags carry no trailing blank, so the restart line runs the tag
// into the path. Support staff search the log for these exact lines; keep
// them as they are.
const MyDoomVariant kVariants[] = {
    {"nerocheck", "regedit", " (I-Worm.MyDoom.D)", " (I-Worm.MyDoom.D)", RemoveFileOptions::Full()},
    // C's file is deleted as it is: no attribute reset, but the restart
    // fallback still applies.
    {"gremlin", "intrenat", " (I-Worm.MyDoom.C)", "(I-Worm.MyDoom.C)", RemoveFileOptions{false, true, true}},
};

const char* const kGenericTag = " (I-Worm.MyDoom)";

// Keys whose mere presence tells the worm it already runs on this machine.
struct MarkerKey {
    RegKey root;
    const char* parent;
    const char* name;
};

const MarkerKey kMarkerKeys[] = {
    {winroot::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32", "Version"},
    {winroot::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion", "Shell"},
    {winroot::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32", "Version"},
    {winroot::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion", "Shell"},
};

const char* const kExtensions[] = {".bat", ".scr", ".com", ".zip", ".exe", ".pif"};

}  // namespace

void CCleanerDlg::CleanMyDoom() {
    // The autostart checks delete any Run value of this name later; the
    // variant C value is left to them.
    RegisterVirusNames({"gremlin"}, kFamily);

    RunCommandOptions runOptions;
    runOptions.bExpandPlaceholders = true;
    runOptions.trim = RunTrimRule::Dot;
    runOptions.base = RunBaseDir::System;

    // Kept through both roots: a value deleted under HKLM is deleted under
    // HKCU too when the same name stands there.
    std::vector<std::string> runTable;
    const std::string runMessage = LoadText(IDS_VIRUS_RUN_VALUE_DELETED) + "(I-Worm.MyDoom)";

    ForEachRunValue([&](const RunValue& value) {
        const std::string path = NormalizeRunCommand(value.data, runOptions);
        if (path.empty()) return;

        for (const MyDoomVariant& variant : kVariants) {
            if (path.find(variant.pathText) == std::string::npos || !EqualsNoCase(value.name, variant.valueName)) {
                continue;
            }
            KillProcessByName({path, LoadText(IDS_VIRUS_MODULE_STOPPED) + variant.tag}, true);
            VirusFileTags tags;
            tags.deleted = variant.tag;
            tags.restart = variant.restartTag;
            tags.order = RestartTagOrder::TagBeforePath;
            RemoveVirusFile(path, variant.removal, tags);
        }

        // The classifier removes a recognised body itself; what follows
        // catches a copy it could not delete because it was running.
        if (ClassifyFile(path) != kFamilyMyDoom) return;
        runTable.insert(runTable.end(), {kRunKeyParent, kRunKeyName, value.name, ""});
        RestoreRegistryValues(value.root, runTable, runMessage, 0);
        KillProcessByName({path, LoadText(IDS_VIRUS_MODULE_STOPPED) + kGenericTag}, true);
        VirusFileTags tags;
        tags.deleted = kGenericTag;
        RemoveVirusFile(path, RemoveFileOptions::Short(), tags);
    });

    // Deleting a whole key writes no line, so the message is never shown.
    for (const MarkerKey& marker : kMarkerKeys) {
        RestoreRegistryValues(marker.root, {marker.parent, marker.name, "", ""}, std::string(), 0);
    }

    RestoreWebcheckServer(LoadText(IDS_LOGON_KEY_CHECKED) + kGenericTag);

    for (const char* extension : kExtensions) m_walker.AddExtension(extension);
}
