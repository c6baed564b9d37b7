// I-Worm.Sober: a body started from the Run key, known only by its content.
#include <string>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"

namespace {

constexpr int kFamilyCode = 19;
const char* const kTag = " (I-Worm.Sober)";

}  // namespace

void CCleanerDlg::CleanSober() { RemoveClassifiedRunBodies(kFamilyCode, kTag, kTag); }
