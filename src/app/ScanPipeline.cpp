// The Scan button and the scan thread: every stage of a scan in its order.
#include <algorithm>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "sys/Text.h"

namespace {

const char* const kGuardKey = "SOFTWARE\\KESTRO\\TVXWaechter\\Generic";
const char* const kGuardValue = "MonitorOn";
const char* const kProductKey = "SOFTWARE\\KESTRO\\Tervix\\Plan";
const char* const kProductValue = "tvxexe";

// Both values of the anti-virus product are read into buffers of this size.
constexpr std::uint32_t kValueBufferSize = 260;
// Room for 24 drives of four characters ("C:\" and its terminator); a
// longer list is fetched again into a buffer of the size the system asks.
constexpr std::uint32_t kDriveBufferChars = 100;

// The extensions the disk walk always checks, after those the cleaners add.
const char* const kScanExtensions[] = {".htt", ".ini", ".htm", "html", ".php", ".asp", ".vbs", ".hta", ".dat",
                                       ".pif", ".scr", ".tmp", ".dll", ".exe", ".ex$", ".vir", ".zip"};

// Reads a value of at most kValueBufferSize bytes. False when the key or the
// value cannot be read (a larger value counts as unreadable).
bool ReadProductValue(IPlatform& platform, const char* key, const char* value, std::vector<std::uint8_t>& data) {
    RegKey hKey = 0;
    if (platform.OpenKey(winroot::kLocalMachine, key, hKey) != ERROR_SUCCESS) return false;
    data.assign(kValueBufferSize, 0);
    std::uint32_t type = 0;
    std::uint32_t size = kValueBufferSize;
    const std::int32_t status = platform.QueryValue(hKey, value, &type, data.data(), &size);
    platform.CloseKey(hKey);
    if (status != ERROR_SUCCESS) return false;
    data.resize(size);
    return true;
}

}  // namespace

void CCleanerDlg::OnScan() {
    DetectPlatform();
    if (CheckGuard()) return;
    m_view.EnableScanButton(false);
    // Set for the scan and cleared only by the exit button: a click on the
    // banner asks first from now on.
    m_view.SetBannerWarning(true);
    m_view.ResetLog();
    m_view.SetExitButtonText(LoadText(IDS_ABORT));
    m_walker.ClearExtensions();
    m_bScanning = true;
    m_pScanThread = m_platform.StartThread(&CCleanerDlg::ScanThreadProc, this);
    if (!m_pScanThread) {
        m_bScanning = false;
        // No thread, no scan: back to idle so the user can try again.
        m_view.SetBannerWarning(false);
        m_view.EnableScanButton(true);
        m_view.SetExitButtonText(LoadText(IDS_EXIT));
    }
}

bool CCleanerDlg::CheckGuard() {
    if (!m_bCheckGuard) return false;
    std::vector<std::uint8_t> data;
    if (!ReadProductValue(m_platform, kGuardKey, kGuardValue, data)) return false;
    // The guard is on when the last byte of the value is 0xFF (a 4-byte
    // value with all bits set, as the product writes it). An empty value has
    // no last byte and does not block.
    if (data.empty() || data.back() != 0xFF) return false;
    m_view.MessageBox(LoadText(IDS_GUARD_IS_ON), MB_OK | MB_ICONEXCLAMATION);
    return true;
}

bool CCleanerDlg::OfferFullScan() {
    if (!m_bScanComplete) return false;
    m_view.MessageBox(LoadText(IDS_RUN_FULL_PRODUCT), MB_OK | MB_ICONINFORMATION);
    if (!m_bStartFullProduct) return false;
    std::vector<std::uint8_t> data;
    if (!ReadProductValue(m_platform, kProductKey, kProductValue, data)) return false;
    // The value is a string; its data may or may not carry the terminator.
    std::string program(data.begin(), data.end());
    program.resize(program.find('\0') == std::string::npos ? program.size() : program.find('\0'));
    m_platform.ShellOpen("open", program, "", "", SW_SHOWDEFAULT);
    return true;
}

void CCleanerDlg::ScanThreadProc(void* dialog) { static_cast<CCleanerDlg*>(dialog)->RunScan(); }

void CCleanerDlg::RunScan() {
    m_failedStops.clear();
    if (m_bHasAnimation) m_view.PlayAnimation();
    LogString(IDS_STAGE_TEMP_FILES);
    CleanTempInternetFiles();
    RunFamilyCleaners();

    LogString(IDS_STAGE_REGISTRY);
    CheckRunEntries(m_virusFileNames);
    m_view.SetCaption("Trwa sprawdzanie pamięci...");
    KillRegisteredProcesses();
    CheckIniEntry("win.ini", "windows", "load");
    CheckIniEntry("win.ini", "windows", "run");
    CheckIniEntry("system.ini", "boot", "shell");
    LogString(IDS_STAGE_REGISTRY_DONE);
    LogString(IDS_STAGE_MEMORY);
    ScanMemory();
    LogString(IDS_STAGE_MEMORY_DONE);

    m_view.SetCaption("Trwa sprawdzanie plików...");
    LogString(IDS_STAGE_DISKS);
    for (const char* ext : kScanExtensions) m_walker.AddExtension(ext);
    RunDriveLoop();

    if (!m_walker.m_bAbort) {
        LogString(IDS_STAGE_DISKS_DONE);
        if (m_bHasAnimation) m_view.StopAnimation();
        m_bScanComplete = true;
        OfferFullScan();
    } else {
        LogString(IDS_STAGE_DISKS_ABORTED);
        if (m_bHasAnimation) m_view.StopAnimation();
    }

    m_view.SetCaption(kProductTitle);
    m_walker.m_bAbort = 0;
    m_view.EnableScanButton(true);
    m_view.SetExitButtonText(LoadText(IDS_EXIT));
    m_view.OnScanThreadFinished();
}

void CCleanerDlg::RunDriveLoop() {
    std::vector<char> drives(kDriveBufferChars, '\0');
    std::uint32_t n = m_platform.LogicalDriveStrings(kDriveBufferChars, drives.data());
    if (n >= kDriveBufferChars) {
        drives.assign(n + 1, '\0');
        n = m_platform.LogicalDriveStrings(n + 1, drives.data());
        if (n >= drives.size()) n = 0;  // the list grew again meanwhile: walk nothing rather than guess
    }
    for (std::uint32_t offset = 0; offset + 1 < n; offset += 4) {
        const std::string drive{drives[offset], drives[offset + 1]};
        if (m_walker.m_bAbort) {
            m_view.ReportDrive(drive, DriveAction::SkippedAborted);
            continue;
        }
        if (!IsDriveSelected(drive)) {
            m_view.ReportDrive(drive, DriveAction::SkippedNotSelected);
            continue;
        }
        switch (m_platform.DriveType(drive)) {
            case DRIVE_REMOTE:
                if (m_view.MessageBox(drive + LoadText(IDS_NETWORK_DRIVE_QUESTION), MB_YESNO | MB_ICONQUESTION) ==
                    IDYES) {
                    m_view.ReportDrive(drive, DriveAction::Walked);
                    m_walker.Walk(drive);
                } else {
                    m_view.ReportDrive(drive, DriveAction::SkippedNetwork);
                }
                break;
            case DRIVE_CDROM:
                m_view.ReportDrive(drive, DriveAction::SkippedCdrom);
                break;
            default:
                m_view.ReportDrive(drive, DriveAction::Walked);
                m_walker.Walk(drive);
                break;
        }
    }
}

bool CCleanerDlg::IsDriveSelected(const std::string& drive) const {
    if (m_drivesToWalk.empty()) return true;
    return std::any_of(m_drivesToWalk.begin(), m_drivesToWalk.end(),
                       [&](const std::string& selected) { return EqualsNoCase(selected, drive); });
}
