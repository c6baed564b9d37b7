#include <cstring>

#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRegNode.h"
#include "sys/PerfData.h"

namespace {

// Title indexes as the English counter list of the system names them.
constexpr std::uint32_t kProcessObjectIndex = 230;
constexpr std::uint32_t kIdProcessIndex = 784;
constexpr std::uint32_t kProcessorTimeIndex = 6;

class CBlobWriter {
public:
    std::vector<std::uint8_t> bytes;
    std::size_t Here() const { return bytes.size(); }
    void U16(std::uint16_t v) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void U64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void Zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); }
    void AlignTo8() { Zeros((8 - bytes.size() % 8) % 8); }
    void PutU32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
};

// ASCII and Latin letters are all the instance names here need.
std::vector<std::uint16_t> ToUtf16(const std::string& s) {
    std::vector<std::uint16_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80 || i + 1 >= s.size()) {
            out.push_back(b);
            i += 1;
        } else {
            out.push_back(static_cast<std::uint16_t>(((b & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F)));
            i += 2;
        }
    }
    return out;
}

// The instance name the system gives a process: its file name without the
// extension, whatever the extension is.
std::string InstanceName(const std::string& path) {
    std::string name = path.substr(path.find_last_of('\\') + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace

std::uint32_t CSimMachine::StartProcess(const std::string& winPath, ProcessOptions options) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const std::uint32_t id = m_nextProcessId;
    m_nextProcessId += 4;
    m_processes.push_back({id, winPath, options, true});
    return id;
}

bool CSimMachine::IsRunning(std::uint32_t processId) const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return FindProcess(processId) != nullptr;
}

std::vector<CSimMachine::RunningProcess> CSimMachine::RunningProcesses() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<RunningProcess> out;
    for (const Process& p : m_processes)
        if (p.running) out.push_back({p.id, p.path});
    return out;
}

const CSimMachine::Process* CSimMachine::FindProcess(std::uint32_t processId) const {
    for (const Process& p : m_processes)
        if (p.id == processId && p.running) return &p;
    return nullptr;
}

void CSimMachine::DisablePerformanceData(bool disabled) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_bPerfDataDisabled = disabled;
}

std::vector<std::uint8_t> CSimMachine::PerformanceData() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<std::pair<std::string, std::uint32_t>> instances;
    instances.push_back({"Idle", 0});
    for (const Process& p : m_processes)
        if (p.running) instances.push_back({InstanceName(p.path), p.id});
    instances.push_back({"_Total", 0});

    CBlobWriter w;
    // PERF_DATA_BLOCK
    for (char c : {'P', 'E', 'R', 'F'}) w.U16(static_cast<std::uint16_t>(c));
    w.U32(1);  // LittleEndian
    w.U32(1);  // Version
    w.U32(1);  // Revision
    const std::size_t totalAt = w.Here();
    w.U32(0);                       // TotalByteLength, patched below
    w.U32(perf::kDataBlockSize);    // HeaderLength
    w.U32(1);                       // NumObjectTypes
    w.U32(0);                       // DefaultObject
    w.Zeros(perf::kDataBlockSize - w.Here());

    // PERF_OBJECT_TYPE
    const std::size_t object = w.Here();
    const std::uint32_t numCounters = 2;
    const auto definitionLength =
        static_cast<std::uint32_t>(perf::kObjectSize + numCounters * perf::kCounterDefinitionStride);
    const std::size_t objectTotalAt = w.Here();
    w.U32(0);  // TotalByteLength, patched below
    w.U32(definitionLength);
    w.U32(perf::kObjectSize);  // HeaderLength
    w.U32(kProcessObjectIndex);
    w.Zeros(16);  // name and help titles, detail level
    w.U32(numCounters);
    w.U32(0);  // DefaultCounter
    w.U32(static_cast<std::uint32_t>(instances.size()));
    w.U32(0);  // CodePage: the names are UTF-16
    w.Zeros(16);  // PerfTime, PerfFreq

    // PERF_COUNTER_DEFINITION: processor time (8 bytes at 8), process id (4 bytes at 16)
    const std::uint32_t counters[][3] = {{kProcessorTimeIndex, 8, 8}, {kIdProcessIndex, 4, 16}};
    for (const auto& c : counters) {
        w.U32(perf::kCounterDefinitionStride);
        w.U32(c[0]);
        w.Zeros(24);
        w.U32(c[1]);  // CounterSize
        w.U32(c[2]);  // CounterOffset
    }

    for (const auto& [name, id] : instances) {
        // PERF_INSTANCE_DEFINITION, its UTF-16 name, then the counter block.
        const std::size_t instance = w.Here();
        const std::vector<std::uint16_t> wide = ToUtf16(name);
        const auto nameBytes = static_cast<std::uint32_t>((wide.size() + 1) * 2);
        w.U32(0);  // ByteLength, patched below
        w.U32(0);
        w.U32(0);
        w.U32(0xFFFFFFFF);  // UniqueID: none, the name identifies it
        w.U32(static_cast<std::uint32_t>(perf::kInstanceSize));
        w.U32(nameBytes);
        for (std::uint16_t ch : wide) w.U16(ch);
        w.U16(0);
        w.AlignTo8();
        w.PutU32(instance, static_cast<std::uint32_t>(w.Here() - instance));
        w.U32(24);  // PERF_COUNTER_BLOCK ByteLength
        w.U32(0);
        w.U64(0);   // processor time
        w.U32(id);  // process id
        w.U32(0);
    }
    w.PutU32(objectTotalAt, static_cast<std::uint32_t>(w.Here() - object));
    w.PutU32(totalAt, static_cast<std::uint32_t>(w.Here()));
    return w.bytes;
}

std::int32_t CSimMachine::QueryPerformanceData(const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                               std::uint32_t* size) {
    if (std::int32_t e = CheckFault("QueryValue", name)) return e;
    // The 9x family has no performance data at all.
    if (m_platformId != VER_PLATFORM_WIN32_NT) return ERROR_FILE_NOT_FOUND;
    if (!size) return ERROR_INVALID_PARAMETER;
    std::vector<std::uint8_t> blob;
    if (!m_bPerfDataDisabled && name == std::to_string(kProcessObjectIndex)) blob = PerformanceData();
    if (type) *type = REG_BINARY;
    if (blob.size() > *size) return ERROR_MORE_DATA;  // the system gives no size: the caller grows and asks again
    *size = static_cast<std::uint32_t>(blob.size());
    if (data && !blob.empty()) std::memcpy(data, blob.data(), blob.size());
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::ProcessSnapshot(std::vector<SnapshotProcess>& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out.clear();
    if (std::int32_t e = CheckFault("ProcessSnapshot", "")) return e;
    const bool nt = m_platformId == VER_PLATFORM_WIN32_NT;
    if (nt) out.push_back({0, "[System Process]"});
    for (const Process& p : m_processes) {
        if (!p.running) continue;
        // The NT family reports the bare file name, the 9x family the path.
        out.push_back({p.id, nt ? p.path.substr(p.path.find_last_of('\\') + 1) : p.path});
    }
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::OpenProcess(std::uint32_t, std::uint32_t processId, ProcessHandle& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out = 0;
    const Process* p = FindProcess(processId);
    if (!p) return ERROR_INVALID_PARAMETER;
    if (std::int32_t e = CheckFault("OpenProcess", p->path)) return e;
    if (!p->options.canOpen) return ERROR_ACCESS_DENIED;
    out = m_nextProcessHandle;
    m_nextProcessHandle += 4;
    m_processHandles[out] = processId;
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::TerminateProcess(ProcessHandle process, std::uint32_t) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto h = m_processHandles.find(process);
    if (h == m_processHandles.end()) return ERROR_INVALID_HANDLE;
    for (Process& p : m_processes) {
        if (p.id != h->second || !p.running) continue;
        if (std::int32_t e = CheckFault("TerminateProcess", p.path)) return e;
        if (p.options.refusesTerminate) return ERROR_ACCESS_DENIED;
        p.running = false;
        return ERROR_SUCCESS;
    }
    // Ending a process that has already ended is refused, as on the system.
    return ERROR_ACCESS_DENIED;
}

void CSimMachine::CloseProcess(ProcessHandle process) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_processHandles.erase(process);
}

std::int32_t CSimMachine::FirstModuleFileName(ProcessHandle process, std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    path.clear();
    // The 9x family has no process-status library.
    if (m_platformId != VER_PLATFORM_WIN32_NT) return ERROR_PROC_NOT_FOUND;
    auto h = m_processHandles.find(process);
    if (h == m_processHandles.end()) return ERROR_INVALID_HANDLE;
    const Process* p = FindProcess(h->second);
    if (!p) return ERROR_INVALID_PARAMETER;
    if (std::int32_t e = CheckFault("FirstModuleFileName", p->path)) return e;
    if (p->options.moduleHidden) return ERROR_ACCESS_DENIED;
    path = p->path;
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::OpenProcessToken(TokenHandle& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out = 0;
    if (std::int32_t e = CheckFault("OpenProcessToken", "")) return e;
    if (m_platformId != VER_PLATFORM_WIN32_NT) return ERROR_INVALID_FUNCTION;
    out = 0x5A5A;
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::LookupPrivilege(const std::string& privilege, std::uint64_t& luid) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("LookupPrivilege", privilege)) return e;
    luid = 20;  // SeDebugPrivilege's number on the system
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::AdjustTokenPrivilege(TokenHandle, std::uint64_t) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return CheckFault("AdjustTokenPrivilege", "");
}

void CSimMachine::CloseToken(TokenHandle) {}
