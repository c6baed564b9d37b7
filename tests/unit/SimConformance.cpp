// The conformance questions asked of the simulated machine, as the NT and
// as the 9x family.
#include "ConformanceSuite.h"

#include <set>

#include "TestMachine.h"
#include "platform/sim/SimMachine.h"

namespace {

class CSimHost : public IConformanceHost {
public:
    explicit CSimHost(std::uint32_t platformId) : m_platformId(platformId) {
        m_machine.SetPlatform(platformId);
        m_drive.MakeDir("WINDOWS");
        m_machine.MapDrive('C', DRIVE_FIXED, m_drive.Path());
    }
    IPlatform& Platform() override { return m_machine; }
    std::string Name() const override { return m_platformId == VER_PLATFORM_WIN32_NT ? "SimNT" : "Sim9x"; }
    std::uint32_t StartProcess(const std::string& dirName, const std::string& fileName) override {
        return m_machine.StartProcess(ExecutablePath(dirName, fileName));
    }
    std::string ExecutablePath(const std::string& dirName, const std::string& fileName) override {
        return "C:\\" + dirName + "\\" + fileName;
    }
    bool HasEnded(std::uint32_t processId) override { return !m_machine.IsRunning(processId); }
    std::string ScratchKey() override {
        const std::string key = "Software\\KestroConformance\\" + std::to_string(++m_keys);
        m_machine.PutString(winroot::kCurrentUser, key, "", "");
        RegKey h = 0;
        m_machine.OpenKey(winroot::kCurrentUser, key, h);
        m_machine.DeleteValue(h, "");
        m_machine.CloseKey(h);
        return key;
    }
    std::string ScratchIniFile() override { return "C:\\WINDOWS\\conformance.ini"; }
    bool AddCacheEntry(const std::string& url, bool cookie) override {
        m_machine.AddCacheEntry(url, cookie ? 0x00100000u : 0x1u);
        return true;
    }
    std::string KnownDeviation(const std::string&) const override { return {}; }

private:
    std::uint32_t m_platformId;
    CTempDir m_drive;
    CSimMachine m_machine;
    int m_keys = 0;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sim, PlatformConformance,
                         testing::Values(ConformanceFactory([] { return std::make_unique<CSimHost>(VER_PLATFORM_WIN32_NT); }),
                                         ConformanceFactory([] {
                                             return std::make_unique<CSimHost>(VER_PLATFORM_WIN32_WINDOWS);
                                         })),
                         [](const auto& info) { return info.param()->Name(); });
