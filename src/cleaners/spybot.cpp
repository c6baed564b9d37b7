// P2P.SpyBot: a body started from the Run key, known only by its content,
// and a running copy that the memory scan catches at once.
#include <string>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"

namespace {

constexpr int kFamilyCode = 3;
const char* const kDeletedTag = " (P2P.SpyBot)";

}  // namespace

void CCleanerDlg::CleanSpyBot() {
    RunCommandOptions options;
    options.bExpandPlaceholders = false;
    options.trim = RunTrimRule::Exe;
    options.base = RunBaseDir::System;
    ForEachRunValue([&](const RunValue& value) {
        const std::string path = NormalizeRunCommand(value.data, options);
        if (path.empty() || ClassifyFile(path) != kFamilyCode) return;
        // The classifier has deleted the body or, when it could not,
        // scheduled it; this second try writes its own line only when the
        // file goes now after all.
        VirusFileTags tags;
        tags.deleted = kDeletedTag;
        tags.deletedTextId = IDS_FILE_DELETED;
        RemoveVirusFile(path, RemoveFileOptions::Short(), tags);
    });

    // A running copy keeps its file and starts again from wherever it was
    // copied to; the memory scan stops it and registers its name now, so
    // the cleaners after this one and the disk walk look for it too.
    ScanMemory();

    m_walker.AddExtension(".exe");
}
