// The family cleaners in the one order every scan runs them. The order
// matters: a body an earlier cleaner's classifier removes is gone before a
// later cleaner looks for it, and the names and extensions the cleaners
// register are read by the stages after them. A family joins the list at
// its own place.
#include "app/CleanerDlg.h"

void CCleanerDlg::RunFamilyCleaners() {
    CleanMyDoom();
    CleanDumaru();
    CleanRedlof();
    CleanRandex();
    CleanVesser();
    CleanApdoor();
    CleanNetSky();
    CleanSwen();
    CleanBagle();
}
