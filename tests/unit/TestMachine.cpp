#include "TestMachine.h"

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
    std::string body;
    bool found = false;
    ForEachRule([&](const SignatureRule& rule) {
        if (found || rule.family != family) return;
        body.assign(rule.offset + rule.length, '\0');
        body.replace(rule.offset, rule.length, reinterpret_cast<const char*>(rule.bytes), rule.length);
        found = true;
    });
    if (!found) ADD_FAILURE() << "no rule for family " << family;
    return body;
}
