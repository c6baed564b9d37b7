// The file classifier: the executable pre-checks, then the rule table, and
// the removal of whatever they find. Every content-based verdict of the
// program comes from here, and so does every line about a removed body; the
// callers only decide their own follow-up from the family code.
#include <algorithm>
#include <array>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "scan/PeChecks.h"
#include "scan/RuleTable.h"
#include "sys/Bytes.h"
#include "sys/Findings.h"
#include "sys/Text.h"

namespace {

constexpr int kFamilyJeefo = 7;
constexpr int kFamilyBagle = 10;
// What the pre-checks report, Bagle.n and Tanatos alike.
constexpr int kPreCheckVerdict = 1;

// The result-log labels of each family, appended to "deleted" and to
// "scheduled" lines. They are kept exactly as users and support staff have
// always read them: some delete labels close their parenthesis twice, and
// Fakesvc and Lovesan name themselves differently in the two lines.
struct FamilyLines {
    int family;
    const char* deleted;
    const char* scheduled;  // null: the body is never queued for deletion at restart
};

constexpr FamilyLines kFamilyLines[] = {
    {21, " (I-Worm.Protoride)", " (I-Worm.Protoride)"},
    {20, " (Exploit: RPCDCom))", " (Exploit: RPCDCom)"},
    {19, " (I-Worm.Sober))", " (I-Worm.Sober)"},
    {18, " (I-Worm.MooDown))", " (I-Worm.MooDown)"},
    {17, " (Worm.DoomHunter))", " (Worm.DoomHunter)"},
    {16, " (I-Worm.Vesser))", " (I-Worm.Vesser)"},
    {15, " (VBS\\Redlof))", " (VBS\\Redlof)"},
    {14, " (Trojan.StartPage)", " (Trojan.StartPage)"},
    {13, " (I-Worm.Sobig)", " (I-Worm.Sobig)"},
    {12, " (I-Worm.MyDoom)", " (I-Worm.MyDoom)"},
    {11, " (I-Worm.Dumaru)", " (I-Worm.Dumaru)"},
    {10, " (I-Worm.Bagle)", " (I-Worm.Bagle)"},
    {9, " (Worm.Randex)", " (Worm.Randex)"},
    {8, " (Trojan.Fakesvc)", " (I-Worm.Fakesvc)"},
    // A Jeefo body that cannot go now is left for the next scan.
    {kFamilyJeefo, " (Worm.Jeefo)", nullptr},
    {6, " (Worm.Mimail)", " (Worm.Mimail)"},
    {5, " (Worm.Win32.Opasoft)", " (Worm.Win32.Opasoft)"},
    {4, " (I-Worm.Swen)", " (I-Worm.Swen)"},
    {3, " (SpyBot)", " (SpyBot)"},
    {2, " (Backdoor:Apdoor)", " (Backdoor:Apdoor)"},
    {1, " (Lovesan\\blaster)", " (Lovesan\\Blaster)"},
};

const FamilyLines* FindFamilyLines(int family) {
    for (const FamilyLines& lines : kFamilyLines)
        if (lines.family == family) return &lines;
    return nullptr;
}

// The classifier runs on every file of the disk walk, so it allocates
// nothing per file: its two large buffers are fixed and reused, one set per
// thread that classifies. The file's start stays while the header block is
// read, so they are apart.
std::uint8_t* StartBuffer() {
    thread_local std::array<std::uint8_t, kRuleSpan> buffer;
    return buffer.data();
}

std::uint8_t* HeaderBlockBuffer() {
    thread_local std::array<std::uint8_t, pe::kMaxHeaderBlock> buffer;
    return buffer.data();
}

// An open file whose first bytes were read already: a later read that lies
// wholly inside them is served from memory, any other goes to the file, so
// the answers are those of reading the file itself.
class CFileStart : public IFileBytes {
public:
    CFileStart(IPlatform& platform, FileHandle file, const std::uint8_t* start, std::uint32_t have)
        : m_platform(platform), m_file(file), m_pStart(start), m_have(have) {}

    std::uint32_t Read(std::uint64_t offset, std::uint8_t* buffer, std::uint32_t length) const override {
        if (Fits(m_have, offset, length)) {
            std::copy(m_pStart + offset, m_pStart + offset + length, buffer);
            return length;
        }
        // A start read that came back short met the end of the file: there
        // is nothing more to read anywhere past it.
        if (m_have < kRuleSpan) {
            if (offset >= m_have) return 0;
            const auto inside = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, m_have - offset));
            std::copy(m_pStart + offset, m_pStart + offset + inside, buffer);
            return inside;
        }
        std::uint32_t read = 0;
        if (m_platform.ReadAt(m_file, offset, buffer, length, read) != ERROR_SUCCESS) read = 0;
        return std::min(read, length);
    }

private:
    IPlatform& m_platform;
    FileHandle m_file;
    const std::uint8_t* m_pStart;
    std::uint32_t m_have;
};

// A file named as infected and left for now; what is done to it next, if
// anything, is a finding of its own.
void ReportInfected(ICleanerView& view, const std::string& path, std::string line, const std::string& family) {
    Finding finding;
    finding.kind = ActionKind::InfectedFileReported;
    finding.target = path;
    finding.family = family;
    finding.line = std::move(line);
    view.ReportFinding(finding);
}

void ReportDeleted(ICleanerView& view, const std::string& path, std::string line, const std::string& family) {
    Finding finding;
    finding.kind = ActionKind::FileDeleted;
    finding.target = path;
    finding.family = family;
    finding.line = std::move(line);
    view.ReportFinding(finding);
}

// Bagle.n is reported and its running copies stopped, but the file stays:
// the marker alone is too weak to delete on. Its attributes are reset so
// that the user can see and remove it.
void HandleBagleN(CCleanerDlg& dlg, const std::string& path) {
    dlg.Platform().SetAttributes(path, FILE_ATTRIBUTE_NORMAL);
    dlg.KillProcessByName({path, dlg.LoadText(IDS_VIRUS_MODULE_STOPPED) + " (I-Worm.Bagle.n)"}, true);
    ReportInfected(dlg.View(), path, dlg.LoadText(IDS_INFECTED_FILE) + path + " (I-Worm.Bagle.n)", "I-Worm.Bagle.n");
}

// The Tanatos packer also wraps programs the user may want to keep, so an
// executable carrying its stub is deleted only inside a start-up or autorun
// folder, where the worm leaves its copies; any other program gets the rule
// table's verdict after the infected-file line. Returns true when the file
// was deleted.
bool HandleTanatos(CCleanerDlg& dlg, const std::string& path) {
    ReportInfected(dlg.View(), path, dlg.LoadText(IDS_INFECTED_FILE) + path, "Tanatos");
    // The last three characters, not the extension: "setupexe" counts as a
    // program too, as it always has.
    const bool program = path.size() >= 3 && EqualsNoCase(std::string_view(path).substr(path.size() - 3), "exe");
    const std::string lower = ToLowerName(path);
    const bool startsByItself = lower.find("autostart") != std::string::npos || lower.find("autorun") != std::string::npos;
    if (program && !startsByItself) return false;
    dlg.Platform().SetAttributes(path, FILE_ATTRIBUTE_NORMAL);
    if (dlg.Platform().RemoveFile(path) != ERROR_SUCCESS) {
        dlg.View().ReportFinding(FailedStep(ActionKind::FileDeleted, path, "Tanatos"));
        return false;
    }
    ReportDeleted(dlg.View(), path, dlg.LoadText(IDS_VIRUS_FILE_DELETED) + path + " (Tanatos)", "Tanatos");
    return true;
}

}  // namespace

namespace {

// One read of the file's start holds every window of the table and, for
// most executables, every header the pre-checks look at. What the read does
// not return counts as zeros, exactly as a window read past the end would.
std::uint32_t ReadStart(IPlatform& platform, FileHandle file, std::uint8_t* start) {
    std::uint32_t read = 0;
    if (platform.ReadAt(file, 0, start, static_cast<std::uint32_t>(kRuleSpan), read) != ERROR_SUCCESS) read = 0;
    return std::min<std::uint32_t>(read, static_cast<std::uint32_t>(kRuleSpan));
}

}  // namespace

int CCleanerDlg::MatchStart(const std::uint8_t* start, std::size_t length) const {
    return m_bCustomRules ? MatchRules(m_customRules, start, length) : MatchRules(start, length);
}

int CCleanerDlg::ClassifyFile(const std::string& path) {
    FileHandle file = kInvalidFile;
    if (m_platform.OpenForRead(path, file) != ERROR_SUCCESS) return 0;
    std::uint8_t* start = StartBuffer();
    const std::uint32_t read = ReadStart(m_platform, file, start);
    // An empty or unreadable file is not looked at by the rule table either.
    if (read == 0) {
        m_platform.CloseFile(file);
        return 0;
    }
    const CFileStart content(m_platform, file, start, read);
    // The start read holds the DOS header whenever the file does.
    const PeVerdict verdict = IsDosExecutable(start, read)
                                  ? ProbeExecutable(content, start, HeaderBlockBuffer())
                                  : PeVerdict::None;
    // Closed before anything is done to the file: the system refuses to
    // delete a file that is held open, our own handle included.
    m_platform.CloseFile(file);

    if (verdict == PeVerdict::BagleN) {
        HandleBagleN(*this, path);
        return kPreCheckVerdict;
    }
    if (verdict == PeVerdict::Tanatos && HandleTanatos(*this, path)) return kPreCheckVerdict;
    // The file is as it was read (a Tanatos body that could not go is
    // unchanged), so its start serves the rule table as well.
    const int family = MatchStart(start, read);
    if (family != 0) RemoveDetectedFile(path, family);
    return family;
}

int CCleanerDlg::MatchSignatureRules(const std::string& path) {
    FileHandle file = kInvalidFile;
    if (m_platform.OpenForRead(path, file) != ERROR_SUCCESS) return 0;
    std::uint8_t* start = StartBuffer();
    const std::uint32_t read = ReadStart(m_platform, file, start);
    m_platform.CloseFile(file);

    const int family = MatchStart(start, read);
    if (family != 0) RemoveDetectedFile(path, family);
    return family;
}

void CCleanerDlg::RemoveDetectedFile(const std::string& path, int family) {
    const FamilyLines* lines = FindFamilyLines(family);
    if (lines == nullptr) return;
    // A running Bagle holds its file; stopping it first lets the deletion
    // succeed now instead of at the next restart.
    if (family == kFamilyBagle) KillProcessByName({path, LoadText(IDS_VIRUS_MODULE_STOPPED) + " (I-Worm.Bagle)"}, true);
    m_platform.SetAttributes(path, FILE_ATTRIBUTE_NORMAL);
    const std::int32_t error = m_platform.RemoveFile(path);
    if (error == ERROR_SUCCESS) {
        ReportDeleted(m_view, path, LoadText(IDS_VIRUS_FILE_DELETED) + path + lines->deleted, FamilyOfLine(lines->deleted));
        return;
    }
    if (lines->scheduled == nullptr || m_platform.RemoveAtRestart(path) != ERROR_SUCCESS) {
        // Read a moment ago; a body that has gone since was not refused.
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            m_view.ReportFinding(FailedStep(ActionKind::FileDeleted, path, FamilyOfLine(lines->deleted)));
        }
        return;
    }
    Finding finding;
    finding.kind = ActionKind::FileDeleteScheduled;
    finding.target = path;
    finding.family = FamilyOfLine(lines->scheduled);
    finding.line = LoadText(IDS_VIRUS_FILE) + path + lines->scheduled + LoadText(IDS_DELETED_AT_RESTART);
    m_view.ReportFinding(finding);
}
