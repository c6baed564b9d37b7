// Shared pieces of the unit tests: throw-away host directories standing in
// for drives, and a dialog wired to the simulated machine.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "RecordingView.h"
#include "RuleBodies.h"
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

// The lines the dialog writes on start-up, before any scan.
inline constexpr std::size_t kStartupLines = 8;

// The log after the start-up lines.
std::vector<std::string> Lines(const CTestMachine& t);

// "C:\WINDOWS\x.exe" -> "WINDOWS/x.exe": the file's place in the directory
// behind drive C:.
std::string Relative(const std::string& winPath);
// Writes the file at `winPath` on drive C: and returns the path.
std::string Put(CTestMachine& t, const std::string& winPath, const std::string& bytes = "MZ");
// Looked up on the host, so that a fault injected into the machine cannot
// change what the test sees.
bool Exists(const CTestMachine& t, const std::string& winPath);
