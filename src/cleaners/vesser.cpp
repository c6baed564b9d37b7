// Worm.Vesser and the RPC DCOM exploit it spreads with: the names of its
// files, exploit bodies started from the Run key, and the "run" line it sets
// under the logon key.
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"

namespace {

constexpr int kFamilyRpcExploit = 20;
const char* const kFamily = "Exploit: RPCDCom";
const char* const kTag = "(Exploit: RPCDCom)";
const char* const kSpacedTag = " (Exploit: RPCDCom)";
// A file left for the restart is named after the worm, not the exploit.
const char* const kRestartTag = " (Worm.Vesser)";

const char* const kFileNames[] = {"winlogin.exe", "yuetyutr.dll", "dllhost16.exe"};

const char* const kLogonParent = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char* const kLogonKey = "Winlogon";
const char* const kLogonValue = "run";
const char* const kLogonData = "explorer.exe";

const char* const kExtensions[] = {".exe", ".tmp"};

}  // namespace

bool CCleanerDlg::CleanVesser() {
    RegisterVirusNames(std::vector<std::string>(std::begin(kFileNames), std::end(kFileNames)), kFamily);

    RunCommandOptions options;
    options.bExpandPlaceholders = true;
    options.trim = RunTrimRule::Dot;
    options.base = RunBaseDir::System;

    // Kept for the whole run: every call applies each Run value found so
    // far, so a name found under one root is deleted under the other too.
    std::vector<std::string> table;
    const std::string runMessage = LoadText(IDS_VIRUS_RUN_VALUE_DELETED) + kTag;

    ForEachRunValue([&](const RunValue& value) {
        const std::string path = NormalizeRunCommand(value.data, options);
        // The classifier removes a recognised body itself; what follows
        // catches a copy it could not delete because it was running.
        if (path.empty() || ClassifyFile(path) != kFamilyRpcExploit) return;
        table.insert(table.end(), {kRunKeyParent, kRunKeyName, value.name, ""});
        RestoreRegistryValues(value.root, table, runMessage, 0);
        KillProcessByName({path, LoadText(IDS_VIRUS_MODULE_STOPPED) + kSpacedTag}, true);
        VirusFileTags tags;
        tags.deleted = kSpacedTag;
        tags.restart = kRestartTag;
        tags.order = RestartTagOrder::PathBeforeTag;
        // Deleted as it is, without an attribute reset, but with the
        // fallback to the restart.
        RemoveVirusFile(path, RemoveFileOptions{false, true, true}, tags);
    });

    // The same kept table: the Run values found under either root are tried
    // once more under the machine's Run key, and a value still there is
    // reported with this call's message.
    table.insert(table.end(), {kLogonParent, kLogonKey, kLogonValue, kLogonData});
    RestoreRegistryValues(winroot::kLocalMachine, table, LoadText(IDS_REGISTRY_KEY_RESTORED) + kSpacedTag, REG_SZ);

    for (const char* extension : kExtensions) m_walker.AddExtension(extension);
    return true;
}
