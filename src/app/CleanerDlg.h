// The main dialog's logic and the owner of all scan state. The window itself
// lives behind the view seam; every stage of the scan is a member operation.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/View.h"
#include "cleaners/CleanerPattern.h"
#include "platform/Platform.h"
#include "scan/DiskScanWalker.h"
#include "scan/RuleTable.h"

class CCleanerDlg {
public:
    CCleanerDlg(IPlatform& platform, ICleanerView& view);
    ~CCleanerDlg();
    CCleanerDlg(const CCleanerDlg&) = delete;
    CCleanerDlg& operator=(const CCleanerDlg&) = delete;

    // The command line as the application object sees it: the word
    // "noguard" anywhere in it switches the guard check off. The search is
    // a plain substring search, so a longer word holding it counts too.
    void ApplyCommandLine(const std::string& commandLine);

    // The dialog's start-up: start-up lines, directories, platform,
    // animation, walker owner.
    void OnInitDialog();
    void DetectPlatform();

    // Button 1003. Returns true when the dialog is to end now.
    bool OnExitOrAbort();
    // Esc or the close box. Returns true when the dialog may end now; while
    // a scan runs it asks the scan to stop and ends once the thread is done.
    bool OnCloseRequest();
    // Button 1002.
    void OnScan();
    // The window's answer to ICleanerView::OnScanThreadFinished, on the UI
    // thread: reaps the thread. Returns true when a close is pending.
    bool OnScanFinished();
    bool IsScanning() const { return m_bScanning; }

    bool CheckGuard();
    bool OfferFullScan();

    // The whole scan; runs on the scan thread.
    static void ScanThreadProc(void* dialog);
    void RunScan();

    // --- processes and registry (the cleaners' shared chores) ---------------
    // Ends every process whose name (or full path) equals killPair[0] and
    // logs "   " + killPair[1] for each one that really ended. Returns how
    // many ended, for a caller that writes its own line.
    unsigned KillProcessByName(const std::vector<std::string>& killPair, bool matchFullPath);
    // In: {key} to list the key's values, or {key, value} to read one.
    // Out: name, data, name, data, ... or {data}; empty when the key is missing.
    void ReadRegistryValues(std::vector<std::string>& values, int rootIndex);
    bool DeleteKeyTree(RegKey root, const std::string& parentPath, const std::string& keyName);
    // Applies a restore table of groups of four (parent, key, value, data);
    // `root` is an index (0 HKLM, 1 HKCU, 2 HKCR) or a root key itself.
    int RestoreRegistryValues(RegKey root, const std::vector<std::string>& table, const std::string& message,
                              std::uint32_t valueType);
    // Replaces the first "%systemroot%" or "%system%" by the directory.
    bool ExpandSystemDirs(std::string& path) const;

    // --- the disk stage's checks -------------------------------------------
    // Classifies a file by its content; on a verdict removes it and logs.
    // Returns the family code, 0 for none.
    int ClassifyFile(const std::string& path);
    int MatchSignatureRules(const std::string& path);
    // Replaces the built-in rule table for this dialog's classifier; the
    // rules' bytes must outlive the dialog. The product never calls it: it
    // lets tests give the classifier windows for families the built-in
    // table has none for, so that the steps such a verdict starts can run.
    void UseRuleTable(std::vector<SignatureRule> rules) {
        m_customRules = std::move(rules);
        m_bCustomRules = true;
    }
    void RemoveDetectedFile(const std::string& path, int family);  // stop (Bagle), delete or schedule, log
    // Cuts known virus script blocks out of a file: 0 no marker (untouched),
    // 2 repaired, -1 could not be opened or written back. `pInfected`, when
    // given, says whether markers were found, so a -1 after them is a
    // repair that failed.
    int RepairScriptFile(const std::string& path, bool* pInfected = nullptr);
    // A small library holding the key logger's name: deleted.
    bool CheckKeylogDll(const std::string& path);

    // Appends a name registration to the malware file-name registry.
    void RegisterVirusNames(const std::vector<std::string>& names, const std::string& family);

    // --- the memory scan (app/MemoryScan.cpp) ---------------------------------
    // Stops every running process whose name a family registered, one line
    // per registration that names it, each naming that registration's family.
    void KillRegisteredProcesses();
    // Hands the executable of every running process to the classifier; a
    // recognised body's process is stopped, and the Apdoor, SpyBot and Swen
    // bodies register their names for the disk walk that follows.
    void ScanMemory();
    // The index in m_familyNames of the family that registered name `index`
    // of m_virusFileNames; -1 when the registry holds no such family.
    int FamilyOfRegisteredName(std::size_t index) const;
    // Its display name; empty when there is none.
    std::string FamilyNameOfRegisteredName(std::size_t index) const;

    // --- the family cleaners' shared steps (cleaners/CleanerPattern.cpp) ------
    // Visits every value of the Run key, HKLM first, then HKCU, each list
    // read whole before its first visit.
    void ForEachRunValue(const RunValueVisitor& visitor);
    // The file a Run command starts; empty when it names none.
    std::string NormalizeRunCommand(const std::string& data, const RunCommandOptions& options) const;
    // Deletes a virus file (or schedules it for the next restart) and logs
    // only what really happened.
    RemoveOutcome RemoveVirusFile(const std::string& path, const RemoveFileOptions& options, const VirusFileTags& tags);
    // Puts back the webcheck component's in-process server under HKCR.
    void RestoreWebcheckServer(const std::string& message);
    // Follows every Run value to its file; a body the classifier gives
    // `familyCode` is stopped and deleted (short form), with the tags given.
    // DoomHunter and Sober are known this way alone.
    void RemoveClassifiedRunBodies(int familyCode, const std::string& killTag, const std::string& deletedTag);

    // --- family cleaners (cleaners/<family>.cpp), in the order the scan runs them
    // Runs every family cleaner in its fixed order (cleaners/CleanerOrder.cpp).
    void RunFamilyCleaners();
    void CleanSobig();
    void CleanMyDoom();
    bool CleanLovesan();
    void RegisterMimail();
    bool CleanRaleka();
    bool CleanDumaru();
    bool CleanRedlof();
    bool CleanRandex();
    void CleanNaliv();
    bool CleanVesser();
    bool CleanApdoor();
    void CleanDoomHunter();
    void CleanNetSky();
    void CleanSober();
    void CleanSpyBot();
    void CleanSwen();
    void CleanOpasoft();
    void CleanMimail();
    bool CleanBagle();
    void CleanFakesvc();

    // --- autostart entries and the Internet cache (AutostartChecks.cpp,
    // TempInternetFiles.cpp) ------------------------------------------------
    // Deletes the Run, RunOnce (and, on 9x, RunServices) values that name a
    // registered file and puts the file they really start into `names` in
    // place of the registration that matched. Returns 0.
    int CheckRunEntries(std::vector<std::string>& names);
    // Sets an ini entry that names a registered file back to "explorer.exe";
    // non-zero when it was rewritten.
    int CheckIniEntry(const std::string& file, const std::string& section, const std::string& key);
    // Empties the Internet cache except cookies; true when the walk reached
    // the end of the cache.
    bool CleanTempInternetFiles();

    // --- the banner download (ui/BannerDownload.cpp) --------------------------
    // The last step of the start-up, once the banner shows the built-in
    // picture: the base address, and the banner thread when the Internet
    // library is there. The thread makes one attempt and ends.
    void StartBannerDownload();
    static void BannerThreadProc(void* dialog);
    void RunBannerDownload();
    // Sets m_strBannerDir; false when the shell-folders key cannot be opened
    // (the directory then stays empty).
    bool DetermineBannerDir();
    // Downloads the index into the banner directory and splits the copy
    // there into `lines`; true when a copy could be read, this run's or an
    // earlier one's.
    bool DownloadIndex(std::vector<std::string>& lines);
    // In: line 1 of the index; out: the local banner path. True when the
    // banner was downloaded whole and stored.
    bool DownloadBanner(std::string& name);

    ICleanerView& View() { return m_view; }
    IPlatform& Platform() { return m_platform; }
    std::string LoadText(std::uint32_t id) { return m_platform.LoadText(id); }
    // Appends string `id` as one line of the result log.
    void LogString(std::uint32_t id);

    static constexpr std::size_t kFamilySlots = 260;

    std::vector<std::string> m_virusFileNames;
    std::array<int, kFamilySlots> m_familyNameCount{};
    std::vector<std::string> m_familyNames;
    bool m_bWinNT = false;
    CDiskScanWalker m_walker;
    std::vector<std::string> m_sysDirs;
    bool m_bHasAnimation = false;
    bool m_bCheckGuard = true;
    bool m_bScanComplete = false;
    std::string m_strBannerUrl;  // base address of the banner files
    std::string m_strBannerDir;  // where they are kept on this machine
    // Settings of front ends other than the dialog, which keeps these
    // defaults: whether a complete scan starts the full product (its advice
    // is shown either way), and the drives ("C:") the drive loop is limited
    // to; empty walks every drive the system lists.
    bool m_bStartFullProduct = true;
    std::vector<std::string> m_drivesToWalk;

private:
    void InitSystemDirectories();
    int MatchStart(const std::uint8_t* start, std::size_t length) const;
    void RunDriveLoop();
    bool IsDriveSelected(const std::string& drive) const;

    IPlatform& m_platform;
    ICleanerView& m_view;
    std::unique_ptr<IThread> m_pScanThread;
    // From the Scan button until the thread has been reaped; atomic so that
    // it reads true from the first instruction of the scan thread on.
    std::atomic<bool> m_bScanning{false};
    bool m_bClosePending = false;
    bool m_bCustomRules = false;
    std::vector<SignatureRule> m_customRules;
    std::unique_ptr<IThread> m_pBannerThread;
    // Set when the dialog goes: a download in progress stops at its next read.
    std::atomic<bool> m_bBannerCancel{false};
    // Processes (and the stop's text) already reported as refusing to end
    // in this scan.
    std::set<std::pair<std::uint32_t, std::string>> m_failedStops;
};
