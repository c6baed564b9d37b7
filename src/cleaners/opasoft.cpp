// Worm.Opasoft: fixed file names of its droppings and scripts, and bodies
// under other names started from the Run key, known by their content.
#include <iterator>
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "sys/Text.h"

namespace {

constexpr int kFamilyCode = 5;
const char* const kFamily = "Worm.Opasoft";
const char* const kKillTag = " (I-Worm.Opasoft)";
const char* const kDeletedTag = " (Worm.Opasoft)";

// Several have no extension or carry "!": the later stages match them
// literally against Run values, processes and file names, and so do the
// worm's files.
const char* const kFixedNames[] = {"spees1", "instit",     "spees2",      "putas!", "speedbost", "lentao!",
                                   "merda!.aaa", "podre!!", "banda!", "speedm2.shi", "cronos"};
const char* const kExtensions[] = {".bat", ".scr", ".com", ".aaa", ".shi"};

std::string FilePart(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void CCleanerDlg::CleanOpasoft() {
    RegisterVirusNames(std::vector<std::string>(std::begin(kFixedNames), std::end(kFixedNames)), kFamily);

    // The worm writes its Run command with a full path. A bare name is left
    // as it is, so the file calls take it from the current directory; it is
    // not guessed into the Windows or the system directory.
    RunCommandOptions options;
    options.bExpandPlaceholders = false;
    options.trim = RunTrimRule::Dot;
    options.base = RunBaseDir::None;
    std::vector<std::string> found;
    ForEachRunValue([&](const RunValue& value) {
        const std::string path = NormalizeRunCommand(value.data, options);
        if (path.empty() || ClassifyFile(path) != kFamilyCode) return;
        KillProcessByName({path, LoadText(IDS_VIRUS_MODULE_STOPPED) + kKillTag}, true);
        VirusFileTags tags;
        tags.deleted = kDeletedTag;
        RemoveVirusFile(path, RemoveFileOptions::Short(), tags);
        // Registered whether or not the file went: the autostart checks, the
        // memory stage and the disk walk then find its copies by name.
        const std::string name = ToLowerName(FilePart(path));
        if (!name.empty()) found.push_back(name);
    });
    if (!found.empty()) RegisterVirusNames(found, kFamily);

    for (const char* extension : kExtensions) m_walker.AddExtension(extension);
}
