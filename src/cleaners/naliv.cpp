// I-Worm.Naliv: one registered name for the autostart checks, the memory
// scan and the disk walk that follow.
#include "app/CleanerDlg.h"

void CCleanerDlg::CleanNaliv() {
    // The name of the worm's autostart value, capitals and blanks included.
    // Written so, it matches a Run value by its name (compared without
    // regard to case) but never inside the lower-cased data; keep it as it is.
    RegisterVirusNames({"NAV Live Update"}, "I-Worm.Naliv");
    m_walker.AddExtension(".exe");
}
