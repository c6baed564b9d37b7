// The steps every family cleaner is built from.
#include "cleaners/CleanerPattern.h"

#include <string_view>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "sys/Findings.h"
#include "sys/Text.h"

namespace {

// Length of ".exe" and of any three-letter extension with its dot.
constexpr std::size_t kExtensionLength = 4;

const char* const kWebcheckParent = "CLSID\\{E6FB5E20-DE35-11CF-9C87-00AA005127ED}";
const char* const kWebcheckKey = "InProcServer32";
// What the NT family itself registers. The library path is kept unexpanded,
// so it stays right when the system directory moves, and a system that
// already holds it (in any case) is left alone: the restore compares texts.
const char* const kWebcheckNtData = "%SystemRoot%\\System32\\webcheck.dll";

bool EndsWithExe(const std::string& s) {
    return s.size() >= kExtensionLength && EqualsNoCase(std::string_view(s).substr(s.size() - kExtensionLength), ".exe");
}

bool IsMissing(std::int32_t error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

std::string FamilyOfTag(const std::string& tag) {
    const std::size_t first = tag.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const std::size_t last = tag.find_last_not_of(' ');
    return FamilyOfLine(tag.substr(first, last - first + 1));
}

std::string NormalizeRunCommand(std::string data, RunTrimRule trim, RunBaseDir base, const std::string& windowsDir,
                                const std::string& systemDir) {
    // A quoted command loses its first character and its last one, whatever
    // that is; the trim below takes care of what followed the closing quote.
    if (!data.empty() && data.front() == '"') {
        data.erase(0, 1);
        if (!data.empty()) data.pop_back();
    }

    if (trim == RunTrimRule::Dot) {
        if (data.find('.') != std::string::npos) {
            while (data.size() >= kExtensionLength && data[data.size() - kExtensionLength] != '.') data.pop_back();
            // No dot with three characters after it: what is left ("C:\",
            // "a.j") is no file the worm wrote, and acting on it could hit
            // a directory or an unrelated file.
            if (data.size() < kExtensionLength) return {};
        }
    } else if (data.find(".exe") != std::string::npos) {
        // Case-sensitive test, case-insensitive cut: the cut stops at the
        // latest at the occurrence the test found.
        while (!data.empty() && !EndsWithExe(data)) data.pop_back();
    }

    if (data.empty()) return {};
    if (data.find(":\\") != std::string::npos || base == RunBaseDir::None) return data;
    const std::string& dir = base == RunBaseDir::Windows ? windowsDir : systemDir;
    // Without its directory a bare name would be resolved against the
    // current directory, which is not where the worm put it.
    if (dir.empty()) return {};
    return dir + "\\" + data;
}

void CCleanerDlg::ForEachRunValue(const RunValueVisitor& visitor) {
    static const RegKey kRoots[] = {winroot::kLocalMachine, winroot::kCurrentUser};
    for (int rootIndex = 0; rootIndex < 2; ++rootIndex) {
        // The list is read whole before the first visit, so a visitor that
        // deletes a value does not disturb the enumeration.
        std::vector<std::string> values{kRunKeyPath};
        ReadRegistryValues(values, rootIndex);
        for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
            RunValue value;
            value.rootIndex = rootIndex;
            value.root = kRoots[rootIndex];
            value.name = values[i];
            value.data = values[i + 1];
            visitor(value);
        }
    }
}

std::string CCleanerDlg::NormalizeRunCommand(const std::string& data, const RunCommandOptions& options) const {
    std::string text = data;
    if (options.bExpandPlaceholders) ExpandSystemDirs(text);
    const std::string windowsDir = m_sysDirs.size() > 0 ? m_sysDirs[0] : std::string();
    const std::string systemDir = m_sysDirs.size() > 1 ? m_sysDirs[1] : std::string();
    return ::NormalizeRunCommand(std::move(text), options.trim, options.base, windowsDir, systemDir);
}

RemoveOutcome CCleanerDlg::RemoveVirusFile(const std::string& path, const RemoveFileOptions& options,
                                           const VirusFileTags& tags) {
    if (path.empty()) return RemoveOutcome::NotRemoved;
    // A trimmed Run command can name a directory ("C:\my.dir"); resetting
    // its attributes or scheduling its removal would harm the folder.
    const std::uint32_t attributes = m_platform.GetAttributes(path);
    if (attributes != kInvalidAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return RemoveOutcome::NotRemoved;

    if (options.bResetAttributes) m_platform.SetAttributes(path, FILE_ATTRIBUTE_NORMAL);
    const std::int32_t error = m_platform.RemoveFile(path);
    if (error == ERROR_SUCCESS) {
        if (options.bWriteLines) {
            Finding finding;
            finding.kind = ActionKind::FileDeleted;
            finding.target = path;
            finding.family = FamilyOfTag(tags.deleted);
            finding.line = LoadText(tags.deletedTextId) + path + tags.deleted;
            m_view.ReportFinding(finding);
        }
        return RemoveOutcome::Deleted;
    }
    // A file that is not there (the classifier took it a moment ago) has
    // nothing to remove at restart; scheduling it would log a removal that
    // never happens.
    if (IsMissing(error)) return RemoveOutcome::NotRemoved;
    const auto failed = [&] {
        // Only a file that was seen to be there was found and not removed.
        if (options.bWriteLines && attributes != kInvalidAttributes) {
            m_view.ReportFinding(FailedStep(ActionKind::FileDeleted, path, FamilyOfTag(tags.deleted)));
        }
        return RemoveOutcome::NotRemoved;
    };
    if (!options.bRestartFallback) return failed();
    if (m_platform.RemoveAtRestart(path) != ERROR_SUCCESS) return failed();
    if (options.bWriteLines) {
        Finding finding;
        finding.kind = ActionKind::FileDeleteScheduled;
        finding.target = path;
        finding.family = FamilyOfTag(tags.restart);
        const std::string middle =
            tags.order == RestartTagOrder::TagBeforePath ? tags.restart + path : path + tags.restart;
        finding.line = LoadText(IDS_VIRUS_FILE) + middle + LoadText(IDS_DELETED_AT_RESTART);
        m_view.ReportFinding(finding);
    }
    return RemoveOutcome::Scheduled;
}

void CCleanerDlg::RestoreWebcheckServer(const std::string& message) {
    std::string data;
    std::uint32_t type = REG_SZ;
    if (m_bWinNT) {
        data = kWebcheckNtData;
        type = REG_EXPAND_SZ;
    } else {
        // The 9x family registers the library by its full path in the
        // system directory.
        std::string systemDir;
        if (m_platform.SystemDirectory(systemDir) == 0 || systemDir.empty()) {
            systemDir = m_sysDirs.size() > 1 ? m_sysDirs[1] : std::string();
        }
        // Without the directory the path would be "\webcheck.dll", which
        // breaks the component worse than the worm did.
        if (systemDir.empty()) return;
        data = systemDir + "\\webcheck.dll";
    }
    RestoreRegistryValues(winroot::kClassesRoot, {kWebcheckParent, kWebcheckKey, "", data}, message, type);
}

void CCleanerDlg::RemoveClassifiedRunBodies(int familyCode, const std::string& killTag, const std::string& deletedTag) {
    RunCommandOptions options;
    options.bExpandPlaceholders = true;
    options.trim = RunTrimRule::Dot;
    options.base = RunBaseDir::System;
    ForEachRunValue([&](const RunValue& value) {
        const std::string path = NormalizeRunCommand(value.data, options);
        // The classifier deletes a body it recognises itself, but not one
        // that is running; the cleaner stops it and deletes it now.
        // The Run value is left to the autostart checks.
        if (path.empty() || ClassifyFile(path) != familyCode) return;
        KillProcessByName({path, LoadText(IDS_VIRUS_MODULE_STOPPED) + killTag}, true);
        VirusFileTags tags;
        tags.deleted = deletedTag;
        RemoveVirusFile(path, RemoveFileOptions::Short(), tags);
    });
}
