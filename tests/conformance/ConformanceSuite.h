// Questions that the simulated machine and the real Windows backend must
// answer alike. The suite is written once; each backend instantiates it
// with a host that knows how to start processes and make scratch keys on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/Platform.h"

class IConformanceHost {
public:
    virtual ~IConformanceHost() = default;
    virtual IPlatform& Platform() = 0;
    virtual std::string Name() const = 0;
    // Starts a process that waits, from an executable named `fileName` in
    // directory `dirName` (both created as needed); returns its id, or 0.
    virtual std::uint32_t StartProcess(const std::string& dirName, const std::string& fileName) = 0;
    // The Windows path of the executable StartProcess made.
    virtual std::string ExecutablePath(const std::string& dirName, const std::string& fileName) = 0;
    // Waits a little for a process to end; false when it still runs.
    virtual bool HasEnded(std::uint32_t processId) = 0;
    // A key under HKEY_CURRENT_USER that exists, is empty, and is removed
    // with its contents when the host goes.
    virtual std::string ScratchKey() = 0;
    // A Windows path for an ini file the test may create; removed with the host.
    virtual std::string ScratchIniFile() = 0;
    // Puts an entry into the current user's Internet cache: a page, or a
    // cookie when `cookie`; false when the cache refused it.
    virtual bool AddCacheEntry(const std::string& url, bool cookie) = 0;
    // Where this backend is known to differ from Windows, a short reason;
    // empty when it behaves as Windows does. Keys are the test names.
    virtual std::string KnownDeviation(const std::string& test) const = 0;
};

using ConformanceFactory = std::function<std::unique_ptr<IConformanceHost>()>;

class PlatformConformance : public testing::TestWithParam<ConformanceFactory> {
protected:
    void SetUp() override { m_pHost = GetParam()(); }
    void TearDown() override { m_pHost.reset(); }
    IConformanceHost& Host() { return *m_pHost; }
    IPlatform& P() { return m_pHost->Platform(); }
    bool IsNT() { return P().PlatformId() == VER_PLATFORM_WIN32_NT; }

private:
    std::unique_ptr<IConformanceHost> m_pHost;
};
