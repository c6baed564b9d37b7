// Shared pieces of the unit tests: throw-away host directories standing in
// for drives, and a dialog wired to the simulated machine.
#pragma once

#include <memory>
#include <string>

#include "RecordingView.h"
#include "app/CleanerDlg.h"
#include "platform/sim/SimMachine.h"

// A fresh directory under the system's temporary folder, removed with its
// contents at the end of the test.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    const std::string& Path() const { return m_path; }
    // Creates `relative` (with '/' separators) and its parents.
    std::string MakeDir(const std::string& relative) const;
    std::string WriteFile(const std::string& relative, const std::string& content = "") const;

private:
    std::string m_path;
};

// A body of `family` as the classifier knows it: zeros holding the
// family's first rule window at its offset.
std::string BodyOf(int family);

// The simulated machine with drive C: fixed and backed by a temp directory,
// the recording view and the dialog, initialised as on start-up.
class CTestMachine {
public:
    explicit CTestMachine(std::uint32_t platformId = VER_PLATFORM_WIN32_NT);

    // Presses "Skanuj" and waits for the scan thread to end; false when
    // the scan did not start or did not end in time.
    bool Scan();

    CTempDir drive;
    CSimMachine machine;
    CRecordingView view;
    std::unique_ptr<CCleanerDlg> dlg;
};
