// The disk stage's walker: shows each folder in the dialog's path field.
#pragma once

#include "scan/DirectoryWalker.h"

class CCleanerDlg;

class CDiskScanWalker : public CDirectoryWalker {
public:
    using CDirectoryWalker::CDirectoryWalker;
    ~CDiskScanWalker() override;

    void SetOwner(CCleanerDlg* owner) { m_pOwner = owner; }

protected:
    void OnEnterDirectory(std::string dir) override;
    // The per-file check (scan/PerFileCheck.cpp).
    void OnMatchingFile(std::string path) override;

private:
    CCleanerDlg* m_pOwner = nullptr;
};
