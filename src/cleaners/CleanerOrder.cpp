// The family cleaners in the one order every scan runs them. The order
// matters: a body an earlier cleaner's classifier removes is gone before a
// later cleaner looks for it, and the names and extensions the cleaners
// register are read by the stages after them. A family joins the list at
// its own place.
#include "app/CleanerDlg.h"

void CCleanerDlg::RunFamilyCleaners() {
    CleanSobig();
    CleanMyDoom();
    CleanLovesan();
    RegisterMimail();
    CleanRaleka();
    CleanDumaru();
    CleanRedlof();
    CleanRandex();
    CleanNaliv();
    CleanVesser();
    CleanApdoor();
    CleanDoomHunter();
    CleanNetSky();
    CleanSober();
    CleanSpyBot();
    CleanSwen();
    CleanOpasoft();
    CleanMimail();
    CleanBagle();
    CleanFakesvc();
}
