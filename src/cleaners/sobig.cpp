// I-Worm.Sobig, variants A to F: nothing is removed here. Each variant's
// body and data files have fixed names, so registering them is enough: the
// autostart checks, the memory scan and the disk walk that follow find and
// remove them under the variant's name.
#include <string>
#include <vector>

#include "app/CleanerDlg.h"

namespace {

struct SobigVariant {
    const char* family;
    std::vector<std::string> names;
};

const SobigVariant kVariants[] = {
    {"Sobig.f", {"winppr32.exe", "winstt32.dat"}},
    {"Sobig.e", {"cftrb32.exe", "msddr.dat"}},
    {"Sobig.d", {"winssk32.exe", "dftrn32.dat"}},
    {"Sobig.c", {"mscvb32.exe", "rssp32.dat"}},
    {"Sobig.b", {"msccm32.exe", "msrrf.dat"}},
    {"Sobig", {"winmgm32.exe", "hnks.ini", "dwn.dat"}},
};

const char* const kExtensions[] = {".exe", ".dat", ".ini"};

}  // namespace

void CCleanerDlg::CleanSobig() {
    for (const SobigVariant& variant : kVariants) RegisterVirusNames(variant.names, variant.family);
    for (const char* extension : kExtensions) m_walker.AddExtension(extension);
}
