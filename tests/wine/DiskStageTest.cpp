// The disk stage of the real program: bodies planted on the fixed drive C:
// and on the removable drive D: are found by their rule windows and deleted;
// infected pages and scripts are repaired in place, a read-only one included.
#include <gtest/gtest.h>

#include <algorithm>

#include "ProgramDriver.h"
#include "RuleBodies.h"
#include "ScanLog.h"
#include "WineFixtures.h"
#include "scan/ScriptRepair.h"

namespace {

std::string Marker(std::size_t k) { return std::string(ScriptMarkers()[k].text); }

bool HasLine(const std::vector<std::wstring>& log, const std::wstring& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

}  // namespace

TEST(DiskStage, RemovesBodiesAndRepairsPagesOnFixedAndRemovableDrives) {
    CPlantedTree fixed(L"C:\\kc-disk");
    CPlantedTree removable(std::wstring(kRemovableDrive) + L"\\kc-disk");

    const std::wstring dumaru = fixed.Root() + L"\\setup.exe";
    const std::wstring swen = removable.Root() + L"\\patch.dat";
    WriteFileChecked(dumaru, RuleWindowBody(11));
    WriteFileChecked(swen, RuleWindowBody(4));

    const std::wstring page = fixed.Root() + L"\\index.htm";
    const std::string pageText = "<html>" + Marker(0) + "<p>Strona</p></html>\r\n";
    WriteFileChecked(page, pageText);

    const std::wstring script = removable.Root() + L"\\start.vbs";
    const std::string scriptText = std::string(1400, 'a') + Marker(6) + std::string(500, 'b');
    WriteFileChecked(script, scriptText);
    ASSERT_TRUE(SetFileAttributesW(script.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    const std::wstring clean = fixed.Root() + L"\\notes.htm";
    WriteFileChecked(clean, "<html>nothing here</html>");

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    const std::vector<std::wstring> log = ScanToTheEnd(program);
    EXPECT_FALSE(FileExists(dumaru));
    EXPECT_FALSE(FileExists(swen));
    EXPECT_TRUE(HasLine(log, Text(7) + dumaru + L" (I-Worm.Dumaru)")) << Describe(log);
    EXPECT_TRUE(HasLine(log, Text(7) + swen + L" (I-Worm.Swen)")) << Describe(log);

    EXPECT_EQ(ReadWholeFile(page), "<html><p>Strona</p></html>\r\n");
    EXPECT_TRUE(HasLine(log, Text(12) + page + Text(42))) << Describe(log);
    // The block reaches 1,340 bytes ahead of the marker and 403 behind it.
    EXPECT_EQ(ReadWholeFile(script), std::string(60, 'a') + std::string(97, 'b'));
    EXPECT_TRUE(HasLine(log, Text(12) + script + Text(42))) << Describe(log);
    const DWORD attributes = GetFileAttributesW(script.c_str());
    EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u) << std::hex << attributes;

    EXPECT_EQ(ReadWholeFile(clean), "<html>nothing here</html>");
    EXPECT_FALSE(HasLine(log, Text(12) + clean + Text(42)));
    program.ExitWithButton();
}
