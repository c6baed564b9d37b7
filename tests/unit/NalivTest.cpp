// The Naliv cleaner: one name, written with capitals and blanks as the
// worm's Run value is named, and how the autostart check matches it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"

namespace {

const RegKey HKLM = winroot::kLocalMachine;
const RegKey HKCU = winroot::kCurrentUser;
constexpr std::uint32_t kIdsRemovedFromRegistry = 10;

std::string T(std::uint32_t id) { return BuiltInString(id); }

bool HasRunValue(const CSimMachine& m, RegKey root, const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    return m.GetValue(root, kRunKeyPath, name, type, data);
}

}  // namespace

TEST(Naliv, RegistersOneNameAndTouchesNothing) {
    CTestMachine t;
    t.view.ResetLog();
    t.machine.PutString(HKLM, kRunKeyPath, "NAV Live Update", "C:\\WINDOWS\\navlu.exe");
    const SMachineState before = CaptureMachine(t.machine);

    t.dlg->CleanNaliv();

    EXPECT_TRUE(t.view.Log().empty());
    AuditRun(before, CaptureMachine(t.machine), t.view.AllFindings());
    EXPECT_EQ(t.dlg->m_virusFileNames, std::vector<std::string>{"NAV Live Update"});
    EXPECT_EQ(t.dlg->m_familyNames, std::vector<std::string>{"I-Worm.Naliv"});
    EXPECT_EQ(t.dlg->m_familyNameCount[0], 1);
    EXPECT_EQ(t.dlg->m_walker.Extensions(), std::vector<std::string>{".exe"});
}

struct NalivRunCase {
    const char* name;
    const char* valueName;
    const char* data;
    bool deleted;
};

void PrintTo(const NalivRunCase& c, std::ostream* os) { *os << c.name; }

// The value's name is compared without regard to case; the registered name
// is also looked for in the lower-cased data, where its capitals can never
// be found.
const NalivRunCase kRunMatchCases[] = {
    {"ExactName", "NAV Live Update", "C:\\WINDOWS\\navlu.exe", true},
    {"NameInOtherCase", "nav live update", "navlu.exe /s", true},
    {"NameInData", "Updater", "C:\\Program Files\\NAV Live Update\\navlu.exe", false},
    {"NameWithSuffix", "NAV Live Update 2", "C:\\WINDOWS\\navlu.exe", false},
};

class NalivRunEntry : public testing::TestWithParam<NalivRunCase> {};

TEST_P(NalivRunEntry, AutostartCheckMatchesTheValueName) {
    const NalivRunCase& c = GetParam();
    CTestMachine t;
    t.machine.PutString(HKCU, kRunKeyPath, c.valueName, c.data);
    t.dlg->CleanNaliv();
    t.view.ResetLog();

    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);

    EXPECT_EQ(HasRunValue(t.machine, HKCU, c.valueName), !c.deleted);
    if (c.deleted) {
        // The line names the file the value started, which now stands in
        // the registration's place.
        EXPECT_EQ(t.view.Log(),
                  std::vector<std::string>{T(IDS_VIRUS_FILE) + "I-Worm.Naliv: navlu.exe" + T(kIdsRemovedFromRegistry)});
    } else {
        EXPECT_TRUE(t.view.Log().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, NalivRunEntry, testing::ValuesIn(kRunMatchCases),
                         [](const auto& info) { return std::string(info.param.name); });
