// I-Worm.Mimail, in two steps of the scan. Early on only the worm's fixed
// file names are registered; near the end every Run value is followed to
// the file it starts, and a body the classifier recognises is stopped,
// deleted and its name registered for the stages after the cleaners.
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "sys/Text.h"

namespace {

constexpr int kFamilyMimail = 6;

const char* const kEarlyNames[] = {"videodrv.exe", "foo.exe", "exe.tmp", "eml.tmp", "zip.tmp"};
const char* const kEarlyExtensions[] = {".exe", ".tmp"};

const char* const kFamily = "I-Worm.Mimail";
// "netwatch32" has no extension: it is the worm's Run value, which the
// autostart checks delete by its name or by the data that holds it.
const char* const kLateNames[] = {"netwatch32", "zip.tmp", "exe.tmp", "eml.tmp"};
const char* const kLateExtensions[] = {".scr", ".tmp", ".zip"};

const char* const kKillTag = " (I-Worm.Mimail)";
const char* const kDeletedTag = " (Worm.Mimail)";

std::string FilePart(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void CCleanerDlg::RegisterMimail() {
    RegisterVirusNames(std::vector<std::string>(std::begin(kEarlyNames), std::end(kEarlyNames)), "Mimail");
    for (const char* extension : kEarlyExtensions) m_walker.AddExtension(extension);
}

void CCleanerDlg::CleanMimail() {
    RegisterVirusNames(std::vector<std::string>(std::begin(kLateNames), std::end(kLateNames)), kFamily);

    const std::string windowsDir = m_sysDirs.empty() ? std::string() : m_sysDirs[0];
    const std::string systemDir = m_sysDirs.size() > 1 ? m_sysDirs[1] : std::string();
    std::vector<std::string> found;
    ForEachRunValue([&](const RunValue& value) {
        // Quote strip and trim only; the directory is decided below.
        const std::string command =
            ::NormalizeRunCommand(value.data, RunTrimRule::Dot, RunBaseDir::None, windowsDir, systemDir);
        if (command.empty()) return;
        // The worm copies itself into the Windows directory, so a command
        // without a drive is looked for there by its file name alone,
        // whatever directories it names.
        const std::string name = ToLowerName(FilePart(command));
        std::string path = command;
        if (command.find(":\\") == std::string::npos) {
            // Without the directory or a file name the path would name the
            // current drive's root or the directory itself.
            if (windowsDir.empty() || name.empty()) return;
            path = windowsDir + "\\" + name;
        }
        if (ClassifyFile(path) != kFamilyMimail) return;

        // The classifier could not delete a body that runs; stopped, it goes.
        KillProcessByName({path, LoadText(IDS_VIRUS_MODULE_STOPPED) + kKillTag}, true);
        VirusFileTags tags;
        tags.deleted = kDeletedTag;
        RemoveVirusFile(path, RemoveFileOptions::Short(), tags);
        // Registered whether or not the file went: the later stages try the
        // copies under this name again. An empty name would match every
        // Run value and every file.
        if (!name.empty()) found.push_back(name);
    });
    if (!found.empty()) RegisterVirusNames(found, kFamily);

    for (const char* extension : kLateExtensions) m_walker.AddExtension(extension);
}
