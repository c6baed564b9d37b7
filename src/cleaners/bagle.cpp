// I-Worm.Bagle: its Run values (Bagle.M by name, every variant by content),
// its running body and file, the leftovers it drops in the system directory
// and the marker keys it keeps under the user's Software key.
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "sys/Text.h"

namespace {

constexpr int kFamilyBagle = 10;

const char* const kBagleMName = "winupd.exe";
const char* const kFamily = "I-Worm.Bagle";

const char* const kTagM = " (I-Worm.Bagle.M) ";
const char* const kTagMBefore = "(I-Worm.Bagle.M) ";
const char* const kTag = " (I-Worm.Bagle)";
const char* const kTagBare = "(I-Worm.Bagle)";
const char* const kTagMBare = "(I-Worm.Bagle.M)";

const char* const kLeftovers[] = {"\\readme.exeopen",   "\\i1ru74n4.exeopen", "\\i1ru54n4.exeopen",
                                  "\\i11r54n4.exeopen", "\\winsys.exeopen",   "\\winsys.exeopenopen"};
const char* const kMarkerKeys[] = {"Windows98", "winexe",   "DateTime5",   "DateTime4", "DateTime3",
                                   "DateTime2", "winword", "Windows2000", "windor"};

// Only an absolute path names the file the worm wrote: a bare name would be
// resolved against whatever directory this program was started in.
bool IsAbsolute(const std::string& path) {
    return path.find(":\\") != std::string::npos || path.rfind("\\\\", 0) == 0;
}

// A Run value deleted under one root is looked for under the other as well.
// Each remembers which variant it was found as, so that a value deleted
// again later is reported under that variant.
struct RunGroup {
    std::string valueName;
    bool bBagleM = false;
};

}  // namespace

bool CCleanerDlg::CleanBagle() {
    RegisterVirusNames({"d3dupdate.exe"}, kFamily);

    const std::string moduleStopped = LoadText(IDS_VIRUS_MODULE_STOPPED);
    // Set by the first value the classifier recognises; until then a value
    // deleted again under the other root has no message of its own.
    std::string registryMessage;
    const std::string bagleMMessage = LoadText(IDS_VIRUS_RUN_VALUE_DELETED) + kTagMBare;
    std::vector<RunGroup> runGroups;

    // Applies every Run group found so far under `root`.
    auto applyRunGroups = [&](RegKey root) {
        for (const RunGroup& group : runGroups) {
            RestoreRegistryValues(root, {kRunKeyParent, kRunKeyName, group.valueName, ""},
                                  group.bBagleM ? bagleMMessage : registryMessage, 0);
        }
    };

    RunCommandOptions runOptions;
    runOptions.bExpandPlaceholders = true;
    runOptions.trim = RunTrimRule::Dot;
    runOptions.base = RunBaseDir::None;

    ForEachRunValue([&](const RunValue& value) {
        const std::string path = NormalizeRunCommand(value.data, runOptions);
        std::vector<std::string> killPair;

        // The data test keeps its case: the worm writes its name in lower case.
        if (value.data.find(kBagleMName) != std::string::npos && EqualsNoCase(value.name, kBagleMName)) {
            killPair = {path, moduleStopped + kTagM};
            if (!path.empty()) KillProcessByName(killPair, true);
            runGroups.push_back({kBagleMName, true});
            applyRunGroups(value.root);
            if (IsAbsolute(path)) {
                VirusFileTags tags;
                tags.deleted = kTagM;
                tags.restart = kTagMBefore;
                tags.order = RestartTagOrder::TagBeforePath;
                RemoveVirusFile(path, RemoveFileOptions::Full(), tags);
            }
        }

        // Every value is also judged by the file it starts, Bagle.M's too.
        if (path.empty() || ClassifyFile(path) != kFamilyBagle) return;
        registryMessage = LoadText(IDS_VIRUS_RUN_VALUE_DELETED) + kTagBare;
        runGroups.push_back({value.name, false});
        applyRunGroups(value.root);
        if (killPair.empty()) killPair = {path, moduleStopped + kTag};
        KillProcessByName(killPair, true);
        VirusFileTags tags;
        tags.deleted = kTag;
        tags.restart = kTag;
        tags.order = RestartTagOrder::PathBeforeTag;
        RemoveVirusFile(path, RemoveFileOptions::Full(), tags);
    });

    // Without the system directory the names would resolve against the
    // current drive's root, where they mean nothing.
    const std::string systemDir = m_sysDirs.size() > 1 ? m_sysDirs[1] : std::string();
    if (!systemDir.empty()) {
        const RemoveFileOptions leftoverOptions{true, false, true};
        for (const char* leftover : kLeftovers) {
            RemoveVirusFile(systemDir + leftover, leftoverOptions, {kTag, kTag});
        }
    }

    // The marker keys go whatever else was found; the Run values found so
    // far are looked for under the user's key once more.
    std::vector<std::string> table;
    for (const RunGroup& group : runGroups) {
        table.insert(table.end(), {kRunKeyParent, kRunKeyName, group.valueName, ""});
    }
    for (const char* key : kMarkerKeys) table.insert(table.end(), {"Software", key, "", ""});
    RestoreRegistryValues(winroot::kCurrentUser, table, LoadText(IDS_REGISTRY_KEY_RESTORED) + kTagBare, 0);

    m_walker.AddExtension(".exe");
    return true;
}
