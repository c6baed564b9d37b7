#include <filesystem>
#include <thread>

#include <unistd.h>

#include "app/StringIds.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRegNode.h"
#include "sys/Text.h"

namespace {

class CStdThread : public IThread {
public:
    CStdThread(ThreadProc proc, void* arg) : m_thread(proc, arg) {}
    ~CStdThread() override { Join(); }
    void Join() override {
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::thread m_thread;
};

}  // namespace

CSimMachine::CSimMachine() {
    InitRegistry();
    m_environment["TEMP"] = "C:\\WINDOWS\\TEMP";
}
CSimMachine::~CSimMachine() {
    // Handles a faulty stage left open still hold host descriptors.
    for (const auto& [handle, file] : m_files)
        if (file.fd >= 0) ::close(file.fd);
}

void CSimMachine::SetPlatform(std::uint32_t platformId) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_platformId = platformId;
}

std::uint32_t CSimMachine::PlatformId() {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_platformId;
}

std::uint32_t CSimMachine::WindowsDirectory(std::string& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (CheckFault("WindowsDirectory", "")) return 0;
    out = "C:\\WINDOWS";
    return static_cast<std::uint32_t>(out.size());
}

std::uint32_t CSimMachine::SystemDirectory(std::string& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (CheckFault("SystemDirectory", "")) return 0;
    out = m_platformId == VER_PLATFORM_WIN32_NT ? "C:\\WINDOWS\\System32" : "C:\\WINDOWS\\SYSTEM";
    return static_cast<std::uint32_t>(out.size());
}

std::string CSimMachine::LoadText(std::uint32_t id) { return BuiltInString(id); }

std::intptr_t CSimMachine::ShellOpen(const std::string& verb, const std::string& file, const std::string& params,
                                     const std::string& dir, int showCmd) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("ShellOpen", file)) return e;
    m_launches.push_back({verb, file, params, dir, showCmd});
    // Like the shell: a file that is not there cannot be opened.
    const std::string host = HostPathLocked(file);
    std::error_code ec;
    return !host.empty() && std::filesystem::exists(host, ec) ? 42 : ERROR_FILE_NOT_FOUND;
}

std::vector<CSimMachine::Launch> CSimMachine::Launches() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_launches;
}

std::unique_ptr<IThread> CSimMachine::StartThread(ThreadProc proc, void* arg) {
    if (CheckFault("StartThread", "")) return nullptr;
    return std::make_unique<CStdThread>(proc, arg);
}

void CSimMachine::FailCall(const std::string& op, const std::string& target, std::int32_t error, int nth,
                           bool persistent) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_faults.push_back({op, target, error, nth, persistent});
}

void CSimMachine::ClearFaults() {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_faults.clear();
    m_faultsFired = 0;
}

std::map<std::string, int> CSimMachine::CallCounts() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_callCounts;
}

int CSimMachine::FaultsFired() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_faultsFired;
}

std::int32_t CSimMachine::CheckFault(const char* op, const std::string& target) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    ++m_callCounts[op];
    const std::string lowTarget = ToLowerName(target);
    for (Fault& f : m_faults) {
        if (f.op != op) continue;
        if (!f.target.empty() && lowTarget.find(ToLowerName(f.target)) == std::string::npos) continue;
        ++f.seen;
        if (f.seen == f.nth || (f.persistent && f.seen > f.nth)) {
            ++m_faultsFired;
            return f.error;
        }
    }
    return ERROR_SUCCESS;
}
