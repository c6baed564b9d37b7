#include "app/CleanerDlg.h"

#include <algorithm>

#include "app/StringIds.h"
#include "sys/Text.h"

CCleanerDlg::CCleanerDlg(IPlatform& platform, ICleanerView& view)
    : m_walker(platform), m_platform(platform), m_view(view) {}

CCleanerDlg::~CCleanerDlg() {
    // The window ends only after the scan thread has said it is done, so
    // this join returns at once; it matters for front ends that never wait.
    if (m_pScanThread) m_pScanThread->Join();
    // The banner thread uses this object to its end. Its calls of the
    // Internet library time out, and its transfer stops at the next read.
    m_bBannerCancel = true;
    if (m_pBannerThread) m_pBannerThread->Join();
}

void CCleanerDlg::ApplyCommandLine(const std::string& commandLine) {
    if (commandLine.empty()) return;
    m_bCheckGuard = commandLine.find("noguard") == std::string::npos;
}

void CCleanerDlg::LogString(std::uint32_t id) { m_view.AddLogLine(LoadText(id)); }

void CCleanerDlg::OnInitDialog() {
    LogString(IDS_STARTUP_GUARD);
    m_view.AddLogLine("");
    LogString(IDS_STARTUP_RESTORE_1);
    LogString(IDS_STARTUP_RESTORE_2);
    m_view.AddLogLine("");
    LogString(IDS_STARTUP_SVI_1);
    LogString(IDS_STARTUP_SVI_2);
    LogString(IDS_STARTUP_SVI_3);
    m_view.SetPathText("");

    InitSystemDirectories();
    DetectPlatform();
    // The shell's animation only exists on the NT family.
    if (m_bWinNT) m_bHasAnimation = m_view.CreateAnimation();
    m_walker.SetOwner(this);
    m_bScanComplete = false;
}

void CCleanerDlg::InitSystemDirectories() {
    std::string dir;
    m_platform.WindowsDirectory(dir);
    m_sysDirs.push_back(dir);
    dir.clear();
    m_platform.SystemDirectory(dir);
    m_sysDirs.push_back(dir);
}

void CCleanerDlg::DetectPlatform() { m_bWinNT = m_platform.PlatformId() == VER_PLATFORM_WIN32_NT; }

bool CCleanerDlg::OnExitOrAbort() {
    const std::string text = m_view.GetExitButtonText();
    m_walker.m_bAbort = 1;
    m_view.SetBannerWarning(false);
    if (EqualsNoCase(text, LoadText(IDS_ABORT))) {
        // The scan thread finishes its other stages, skips the disk walk and
        // restores the buttons itself.
        m_view.SetExitButtonText(LoadText(IDS_EXIT));
        return false;
    }
    if (IsScanning()) {
        // "Zakończ" pressed after "Przerwij": the thread still uses this
        // object, so the dialog ends when the thread reports that it is done.
        m_bClosePending = true;
        return false;
    }
    return true;
}

bool CCleanerDlg::OnCloseRequest() {
    if (!IsScanning()) return true;
    m_walker.m_bAbort = 1;
    m_view.SetExitButtonText(LoadText(IDS_EXIT));
    m_bClosePending = true;
    return false;
}

bool CCleanerDlg::OnScanFinished() {
    if (m_pScanThread) {
        m_pScanThread->Join();
        m_pScanThread.reset();
    }
    m_bScanning = false;
    const bool close = m_bClosePending;
    m_bClosePending = false;
    return close;
}

void CCleanerDlg::RegisterVirusNames(const std::vector<std::string>& names, const std::string& family) {
    // Every scan registers its families again while the program runs. A
    // registration equal to an earlier one adds nothing a lookup could find
    // (the earlier one answers first), so it is not repeated; that keeps the
    // fixed count table from filling up over many scans.
    std::size_t first = 0;
    for (std::size_t k = 0; k < m_familyNames.size(); ++k) {
        const auto count = static_cast<std::size_t>(m_familyNameCount[k]);
        if (m_familyNames[k] == family && count == names.size() &&
            std::equal(names.begin(), names.end(), m_virusFileNames.begin() + static_cast<std::ptrdiff_t>(first))) {
            return;
        }
        first += count;
    }
    // A full table takes no more families: a name without its count would
    // shift the family of every name after it.
    if (m_familyNames.size() >= kFamilySlots) return;
    m_virusFileNames.insert(m_virusFileNames.end(), names.begin(), names.end());
    m_familyNameCount[m_familyNames.size()] = static_cast<int>(names.size());
    m_familyNames.push_back(family);
}

int CCleanerDlg::FamilyOfRegisteredName(std::size_t index) const {
    if (index >= m_virusFileNames.size()) return -1;
    // The counts and the family names are appended together, but both are
    // open to every cleaner: the walk trusts neither the 260-slot table nor
    // the names beyond what the other holds.
    const std::size_t families = std::min(m_familyNames.size(), kFamilySlots);
    std::size_t end = 0;  // one past the last name of families 0..k
    for (std::size_t k = 0; k < families; ++k) {
        if (m_familyNameCount[k] < 0) return -1;
        end += static_cast<std::size_t>(m_familyNameCount[k]);
        // A family that registered no names is passed over here.
        if (index < end) return static_cast<int>(k);
    }
    return -1;
}

std::string CCleanerDlg::FamilyNameOfRegisteredName(std::size_t index) const {
    const int k = FamilyOfRegisteredName(index);
    return k < 0 ? std::string() : m_familyNames[static_cast<std::size_t>(k)];
}
