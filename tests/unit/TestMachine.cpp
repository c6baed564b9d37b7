#include "TestMachine.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "scan/RuleTable.h"

namespace fs = std::filesystem;

CTempDir::CTempDir() {
    std::string pattern = (fs::temp_directory_path() / "kc-unit-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
    m_path = pattern;
}

CTempDir::~CTempDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::string CTempDir::MakeDir(const std::string& relative) const {
    const fs::path p = fs::path(m_path) / relative;
    fs::create_directories(p);
    return p.string();
}

std::string CTempDir::WriteFile(const std::string& relative, const std::string& content) const {
    const fs::path p = fs::path(m_path) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p.string();
}

CTestMachine::CTestMachine(std::uint32_t platformId) {
    machine.SetPlatform(platformId);
    machine.MapDrive('C', DRIVE_FIXED, drive.Path());
    dlg = std::make_unique<CCleanerDlg>(machine, view);
    dlg->OnInitDialog();
}

bool CTestMachine::Scan() {
    dlg->OnScan();
    if (!dlg->IsScanning()) return false;
    const bool finished = view.WaitFinished();
    dlg->OnScanFinished();
    return finished;
}

std::string BodyOf(int family) {
    const std::string body = RuleWindowBody(family);
    if (body.empty()) ADD_FAILURE() << "no rule for family " << family;
    return body;
}

std::vector<std::string> Lines(const CTestMachine& t) {
    const auto log = t.view.Log();
    if (log.size() < kStartupLines) return {};
    return std::vector<std::string>(log.begin() + kStartupLines, log.end());
}

std::string Relative(const std::string& winPath) {
    std::string relative = winPath.substr(3);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return relative;
}

std::string Put(CTestMachine& t, const std::string& winPath, const std::string& bytes) {
    t.drive.WriteFile(Relative(winPath), bytes);
    return winPath;
}

bool Exists(const CTestMachine& t, const std::string& winPath) { return fs::exists(t.machine.HostPath(winPath)); }
