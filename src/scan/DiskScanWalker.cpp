#include "scan/DiskScanWalker.h"

#include "app/CleanerDlg.h"

CDiskScanWalker::~CDiskScanWalker() = default;

void CDiskScanWalker::OnEnterDirectory(std::string dir) {
    if (m_pOwner) m_pOwner->View().SetPathText(dir);
}
