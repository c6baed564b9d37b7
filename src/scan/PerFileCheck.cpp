// The disk stage's check of one selected file: registered malware names,
// the script repair (with infected ".gif" files deleted), the key-logger
// library test and the content classifier, in that order.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "scan/DiskScanWalker.h"
#include "scan/ScriptRepair.h"
#include "sys/Findings.h"
#include "sys/Text.h"

namespace {

// Endings that send a file to the script repair, compared on the last four
// characters of the path; "html" also catches ".shtml" and ".xhtml".
constexpr std::array<std::string_view, 8> kScriptEndings = {".ini", ".htt", ".htm", "html",
                                                            ".php", ".asp", ".vbs", ".hta"};

// The repair holds the file and its repaired copy in memory. Infected pages,
// scripts and ini files are kilobytes; a file hundreds of megabytes long
// that happens to have one of these endings is data, and is passed over
// rather than loaded.
constexpr std::uint64_t kMaxScriptFileSize = 64u << 20;
// Reads and writes go in pieces no larger than this, whatever the file size.
constexpr std::uint32_t kIoChunk = 64u << 10;
// The repaired text goes to path + ".tmp"; when a file of that name exists
// (a user's own, or one a crashed run left) the repair tries ".tm1" to ".tm9"
// and then gives up rather than overwrite anything.
constexpr int kTempNameAttempts = 10;

// The key-logger's library is a few kilobytes; larger libraries are not it.
constexpr std::uint64_t kKeylogMaxSize = 6000;
constexpr std::string_view kKeylogText = "Keylogdll.dll";

// An open file handle that is closed on every way out.
class COpenFile {
public:
    COpenFile(IPlatform& platform, FileHandle file) : m_platform(platform), m_file(file) {}
    ~COpenFile() { Close(); }
    COpenFile(const COpenFile&) = delete;
    COpenFile& operator=(const COpenFile&) = delete;
    FileHandle Get() const { return m_file; }
    void Close() {
        if (m_file != kInvalidFile) m_platform.CloseFile(m_file);
        m_file = kInvalidFile;
    }

private:
    IPlatform& m_platform;
    FileHandle m_file;
};

// Reads from the start until the end of the file, whatever its size said:
// a file that grows meanwhile is read whole, never past `limit` bytes and
// never past the buffer. False on a read error or a file beyond `limit`.
bool ReadWholeFile(IPlatform& platform, FileHandle file, std::uint64_t sizeHint, std::uint64_t limit,
                   std::string& out) {
    // One spare byte, so that a file that grew is noticed without a second
    // pass over a full buffer.
    out.assign(static_cast<std::size_t>(std::min(sizeHint, limit)) + 1, '\0');
    std::size_t got = 0;
    for (;;) {
        if (got == out.size()) {
            if (out.size() > limit) return false;
            out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(out.size() * 2, limit + 1)));
        }
        const auto want = static_cast<std::uint32_t>(std::min<std::size_t>(out.size() - got, kIoChunk));
        std::uint32_t read = 0;
        if (platform.ReadAt(file, got, reinterpret_cast<std::uint8_t*>(&out[got]), want, read) != ERROR_SUCCESS ||
            read > want) {
            return false;
        }
        if (read == 0) break;
        got += read;
    }
    out.resize(got);
    return true;
}

bool WriteAll(IPlatform& platform, FileHandle file, std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const auto want = static_cast<std::uint32_t>(std::min<std::size_t>(data.size() - done, kIoChunk));
        std::uint32_t written = 0;
        if (platform.WriteTo(file, reinterpret_cast<const std::uint8_t*>(data.data() + done), want, written) !=
            ERROR_SUCCESS) {
            return false;
        }
        // A write that reports no progress without an error would loop for
        // ever; a disk that takes nothing more is full.
        if (written == 0 || written > want) return false;
        done += written;
    }
    return true;
}

// Removes a temporary file of ours; one that cannot go now is left to the
// system to remove at the next restart (the 9x family cannot, and keeps it).
void DiscardTemp(IPlatform& platform, const std::string& temp) {
    if (platform.RemoveFile(temp) != ERROR_SUCCESS) platform.RemoveAtRestart(temp);
}

// Creates a temporary file beside `path` without ever opening an existing
// one. ERROR_SUCCESS with `temp` and `out` set, or the error that stopped it.
std::int32_t CreateTempBeside(IPlatform& platform, const std::string& path, std::string& temp, FileHandle& out) {
    std::int32_t error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        temp = path + (attempt == 0 ? std::string(".tmp") : ".tm" + std::to_string(attempt));
        error = platform.CreateForWrite(temp, true, out);
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return error;
    }
    return error;
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void ReportDeletion(ICleanerView& view, const std::string& path, const std::string& family, std::string line) {
    Finding finding;
    finding.kind = ActionKind::FileDeleted;
    finding.target = path;
    finding.family = family;
    finding.line = std::move(line);
    view.ReportFinding(finding);
}

}  // namespace

int CCleanerDlg::RepairScriptFile(const std::string& path, bool* pInfected) {
    if (pInfected) *pInfected = false;
    // Script hosts are stopped before every file, infected or not: a host
    // started during the disk stage would rewrite what was just repaired.
    KillProcessByName({"wscript.exe", LoadText(IDS_SCRIPT_HOST_STOPPED)}, false);

    FileHandle handle = kInvalidFile;
    if (m_platform.OpenForRead(path, handle) != ERROR_SUCCESS) return -1;
    COpenFile file(m_platform, handle);
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    if (m_platform.FileInfo(file.Get(), attributes, size) != ERROR_SUCCESS) return -1;
    // Only the read-only bit goes (a read-only file could not be replaced),
    // and it goes before the content is known, so a clean file loses it too.
    std::uint32_t attributesLeft = attributes;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        attributesLeft = attributes & ~FILE_ATTRIBUTE_READONLY;
        if (attributesLeft == 0) attributesLeft = FILE_ATTRIBUTE_NORMAL;
        m_platform.SetAttributes(path, attributesLeft);
    }
    if (size > kMaxScriptFileSize) return -1;

    std::string content;
    if (!ReadWholeFile(m_platform, file.Get(), size, kMaxScriptFileSize, content)) return -1;
    file.Close();

    const ScriptCut cut = CutScriptMarkers(content);
    if (cut.cuts == 0) return 0;
    if (pInfected) *pInfected = true;

    // The repaired text is written in full beside the file first and then
    // takes the file's place in one step, so that at every point the disk
    // holds the infected file or the whole repaired one.
    std::string temp;
    FileHandle out = kInvalidFile;
    if (CreateTempBeside(m_platform, path, temp, out) != ERROR_SUCCESS) return -1;
    const bool written = WriteAll(m_platform, out, cut.text);
    m_platform.CloseFile(out);
    if (!written) {
        // A short write (a full disk) leaves the file infected but whole;
        // the part-written copy goes.
        DiscardTemp(m_platform, temp);
        return -1;
    }

    // A read-only, hidden or system file would refuse to be replaced or keep
    // the worm's attributes; the repaired file is an ordinary one.
    m_platform.SetAttributes(path, FILE_ATTRIBUTE_NORMAL);
    std::int32_t error = m_platform.RenameFile(temp, path, true);
    if (error == ERROR_CALL_NOT_IMPLEMENTED) {
        // The 9x family cannot replace a file while renaming. The infected
        // file goes only now that the whole repaired copy exists; should the
        // rename after it still fail, the repaired text stays in the
        // temporary file, which is then the only copy and is kept.
        error = m_platform.RemoveFile(path);
        if (error == ERROR_SUCCESS && m_platform.RenameFile(temp, path, false) != ERROR_SUCCESS) return -1;
    }
    if (error != ERROR_SUCCESS) {
        m_platform.SetAttributes(path, attributesLeft);
        DiscardTemp(m_platform, temp);
        return -1;
    }
    // The temporary file was created with normal attributes; saying so
    // again keeps a system that adds its own (the archive bit) from
    // deciding what "normal" means here.
    m_platform.SetAttributes(path, FILE_ATTRIBUTE_NORMAL);
    return 2;
}

bool CCleanerDlg::CheckKeylogDll(const std::string& path) {
    FileHandle handle = kInvalidFile;
    if (m_platform.OpenForRead(path, handle) != ERROR_SUCCESS) return false;
    COpenFile file(m_platform, handle);
    m_view.SetPathText(path);
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    if (m_platform.FileInfo(file.Get(), attributes, size) != ERROR_SUCCESS || size >= kKeylogMaxSize) return false;

    // The size may have changed since it was asked; the reads never go past
    // the buffer whatever the file now holds.
    std::array<std::uint8_t, kKeylogMaxSize> buffer;
    std::uint32_t got = 0;
    while (got < buffer.size()) {
        const auto want = static_cast<std::uint32_t>(buffer.size() - got);
        std::uint32_t read = 0;
        if (m_platform.ReadAt(file.Get(), got, buffer.data() + got, want, read) != ERROR_SUCCESS || read > want) {
            return false;
        }
        if (read == 0) break;
        got += read;
    }
    file.Close();

    const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), got);
    if (bytes.find(kKeylogText) == std::string_view::npos) return false;

    m_platform.SetAttributes(path, FILE_ATTRIBUTE_NORMAL);
    if (m_platform.RemoveFile(path) != ERROR_SUCCESS) {
        m_view.ReportFinding(FailedStep(ActionKind::FileDeleted, path, ""));
        return true;
    }
    ReportDeletion(m_view, path, "", LoadText(IDS_VIRUS_LIBRARY_DELETED) + path);
    return true;
}

void CDiskScanWalker::OnMatchingFile(std::string path) {
    if (!m_pOwner) return;
    CCleanerDlg& dlg = *m_pOwner;
    IPlatform& platform = dlg.Platform();
    const std::string name = FileNameOf(path);
    const std::string ext4 = path.size() > 4 ? path.substr(path.size() - 4) : path;

    // A registered name is deleted wherever it is found. The same name may
    // be registered by several families; a failed deletion lets the next
    // equal entry try again, and the line names the family of the entry
    // whose deletion succeeded.
    const std::vector<std::string>& names = dlg.m_virusFileNames;
    std::size_t firstMatch = names.size();
    bool deleted = false;
    std::int32_t error = ERROR_SUCCESS;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!EqualsNoCase(names[i], name)) continue;
        if (firstMatch == names.size()) firstMatch = i;
        platform.SetAttributes(path, FILE_ATTRIBUTE_NORMAL);
        error = platform.RemoveFile(path);
        if (error != ERROR_SUCCESS) continue;
        const std::string family = dlg.FamilyNameOfRegisteredName(i);
        ReportDeletion(dlg.View(), path, family, dlg.LoadText(IDS_VIRUS_FILE_DELETED) + family + ": " + path);
        deleted = true;
        break;
    }
    // The walk found the file a moment ago; one that has gone meanwhile was
    // not refused.
    if (firstMatch < names.size() && !deleted && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        dlg.View().ReportFinding(
            FailedStep(ActionKind::FileDeleted, path, dlg.FamilyNameOfRegisteredName(firstMatch)));
    }

    // Each step below runs whatever the one before did: a file already
    // deleted simply fails to open.
    if (EqualsNoCase(ext4, ".gif")) {
        bool infected = false;
        const int repaired = dlg.RepairScriptFile(path, &infected);
        if (repaired == 2 && platform.RemoveFile(path) == ERROR_SUCCESS) {
            ReportDeletion(dlg.View(), path, "", dlg.LoadText(IDS_VIRUS_FILE_DELETED) + path);
        } else if (infected) {
            dlg.View().ReportFinding(FailedStep(ActionKind::FileDeleted, path, ""));
        }
    }

    for (std::string_view ending : kScriptEndings) {
        if (!EqualsNoCase(ext4, ending)) continue;
        bool infected = false;
        if (dlg.RepairScriptFile(path, &infected) == 2) {
            Finding finding;
            finding.kind = ActionKind::FileRepaired;
            finding.target = path;
            finding.line = dlg.LoadText(IDS_INFECTED_FILE) + path + dlg.LoadText(IDS_REPAIRED);
            dlg.View().ReportFinding(finding);
        } else if (infected) {
            dlg.View().ReportFinding(FailedStep(ActionKind::FileRepaired, path, ""));
        }
        return;
    }

    if (EqualsNoCase(ext4, ".dll")) dlg.CheckKeylogDll(path);
    dlg.ClassifyFile(path);
}
