#include "app/ConsoleScan.h"

#include <algorithm>

#include "app/Version.h"

CConsoleScan::CConsoleScan(IPlatform& platform, IConsoleOutput& output, Clock clock)
    : m_platform(platform), m_output(output), m_clock(std::move(clock)), m_view(output), m_dlg(platform, m_view) {}

int CConsoleScan::Run(const std::vector<std::string>& args, const std::string& argumentLine) {
    ConsoleOptions options;
    std::string error;
    if (!ParseConsoleOptions(args, options, error)) {
        m_output.WriteMessage(error);
        m_output.WriteMessage(ConsoleHelpHint());
        return kExitNotRun;
    }
    if (options.bHelp) {
        for (const std::string& line : ConsoleHelpLines()) m_output.WriteLine(line);
        return kExitNothingFound;
    }

    m_view.SetWalkNetworkDrives(options.bNetwork);
    m_dlg.ApplyCommandLine(argumentLine);
    m_dlg.m_bStartFullProduct = options.bStartFullScan;
    m_dlg.m_drivesToWalk = options.drives;
    m_dlg.OnInitDialog();

    m_report = ConsoleReport();
    m_report.version = ProgramVersion();
    m_report.startTime = m_clock();
    m_dlg.OnScan();
    if (!m_dlg.IsScanning()) {
        // Refused: the guard said why in a message; else no thread came.
        m_report.outcome = m_view.Messages().empty() ? ScanOutcome::NotStarted : ScanOutcome::GuardOn;
    } else {
        // Nothing here needs a window or a message loop: the view answers
        // the scan thread at once, so waiting for it cannot block it.
        m_view.WaitFinished();
        m_dlg.OnScanFinished();
        m_report.outcome = m_dlg.m_bScanComplete ? ScanOutcome::Complete : ScanOutcome::Interrupted;
    }
    m_report.endTime = m_clock();
    m_report.bWinNT = m_dlg.m_bWinNT;
    m_report.findings = m_view.Findings();
    for (const auto& [drive, action] : m_view.Drives()) m_report.drives.push_back({drive, DriveReason(action)});
    if (m_report.outcome == ScanOutcome::Complete || m_report.outcome == ScanOutcome::Interrupted) {
        // A drive named on the command line that the system does not list.
        for (const std::string& wanted : options.drives) {
            const bool met = std::any_of(m_report.drives.begin(), m_report.drives.end(),
                                         [&](const DriveRecord& d) { return d.drive == wanted; });
            if (!met) m_report.drives.push_back({wanted, "missing"});
        }
    }
    m_report.exitCode =
        m_report.outcome == ScanOutcome::Complete ? ExitCodeOfFindings(m_report.findings) : kExitNotRun;

    if (!options.reportPath.empty()) {
        std::int32_t status = ERROR_SUCCESS;
        if (!WriteReport(options.reportPath, FormatConsoleReport(m_report), status)) {
            m_output.WriteMessage("Nie udało się zapisać raportu do pliku " + options.reportPath + " (błąd " +
                                  std::to_string(status) + ")");
            return kExitNotRun;
        }
    }
    return m_report.exitCode;
}

bool CConsoleScan::WriteReport(const std::string& path, const std::string& text, std::int32_t& error) {
    FileHandle file = kInvalidFile;
    error = m_platform.CreateForWrite(path, false, file);
    if (error != ERROR_SUCCESS) return false;
    std::size_t done = 0;
    while (done < text.size()) {
        // Pieces well below what one write call can take.
        const auto want = static_cast<std::uint32_t>(std::min<std::size_t>(text.size() - done, 1u << 20));
        std::uint32_t written = 0;
        error = m_platform.WriteTo(file, reinterpret_cast<const std::uint8_t*>(text.data() + done), want, written);
        if (error == ERROR_SUCCESS && (written == 0 || written > want)) error = ERROR_DISK_FULL;
        if (error != ERROR_SUCCESS) break;
        done += written;
    }
    m_platform.CloseFile(file);
    return error == ERROR_SUCCESS;
}
