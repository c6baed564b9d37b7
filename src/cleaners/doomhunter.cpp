// Worm.DoomHunter: a body started from the Run key under a name of its own,
// known only by its content, and the webcheck component's in-process server
// that it takes over.
#include <string>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"

namespace {

constexpr int kFamilyCode = 17;
const char* const kFamily = "Worm.DoomHunter";
// The kill line has always said I-Worm, the deletion line Worm; both are
// kept as the log has always read.
const char* const kKillTag = " (I-Worm.DoomHunter)";
const char* const kDeletedTag = " (Worm.DoomHunter)";

}  // namespace

void CCleanerDlg::CleanDoomHunter() {
    // The worm's Run value: the autostart checks delete a value of this name
    // whatever it starts.
    RegisterVirusNames({"Delete Me"}, kFamily);

    RemoveClassifiedRunBodies(kFamilyCode, kKillTag, kDeletedTag);

    RestoreWebcheckServer(LoadText(IDS_REGISTRY_KEY_RESTORED));
}
