#include "sys/PerfData.h"

#include "sys/Bytes.h"
#include "sys/Text.h"

namespace {

// UTF-16 to UTF-8. False for an unpaired surrogate, which no code page can
// take, so the caller falls back as for any failed conversion.
bool Utf16ToUtf8(const CByteReader& r, std::uint64_t offset, std::uint64_t bytes, std::string& out) {
    out.clear();
    for (std::uint64_t i = 0; i + 1 < bytes; i += 2) {
        char32_t c = r.U16(offset + i);
        if (c == 0) break;
        if (c >= 0xD800 && c <= 0xDBFF) {
            const char32_t low = (i + 3 < bytes) ? r.U16(offset + i + 2) : 0;
            if (low < 0xDC00 || low > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        AppendUtf8(out, c);
    }
    return true;
}

}  // namespace

PerfCounterIndexes ParsePerfCounterNames(const std::string& counters) {
    PerfCounterIndexes result;
    bool haveProcess = false, haveId = false;
    std::string previous;
    std::size_t pos = 0;
    while (pos < counters.size()) {
        std::size_t end = counters.find('\0', pos);
        if (end == std::string::npos) end = counters.size();
        const std::string item = counters.substr(pos, end - pos);
        if (EqualsNoCase(item, "process")) {
            // Only the digits count: the value name of the query is a number.
            result.processObject.clear();
            for (char c : previous) {
                if (c < '0' || c > '9') break;
                result.processObject += c;
            }
            haveProcess = !result.processObject.empty();
        } else if (EqualsNoCase(item, "id process")) {
            std::uint64_t n = 0;
            for (char c : previous) {
                if (c < '0' || c > '9' || n > 0xFFFFFFFFull / 10) break;
                n = n * 10 + static_cast<std::uint64_t>(c - '0');
            }
            result.idProcessCounter = static_cast<std::uint32_t>(n);
            haveId = n != 0;
        }
        previous = item;
        pos = end + 1;
    }
    result.found = haveProcess && haveId;
    return result;
}

std::vector<PerfProcess> ParsePerfProcesses(const std::uint8_t* data, std::size_t size,
                                            std::uint32_t idProcessCounter, std::size_t maxEntries) {
    std::vector<PerfProcess> out;
    const CByteReader r(data, size);
    // The signature "PERF" in UTF-16.
    if (!r.Has(0, 8) || r.U16(0) != 'P' || r.U16(2) != 'E' || r.U16(4) != 'R' || r.U16(6) != 'F') return out;

    const std::uint64_t object = r.U32(perf::kDataBlockHeaderLengthAt);
    if (!r.Has(object, perf::kObjectSize)) return out;
    const std::uint32_t definitionLength = r.U32(object + 4);
    const std::uint32_t headerLength = r.U32(object + 8);
    const std::uint32_t numCounters = r.U32(object + 32);
    const auto numInstances = static_cast<std::int32_t>(r.U32(object + 40));

    // The counter definitions, at a fixed stride whatever each claims as its
    // own length; the count is bounded by the bytes that hold them.
    bool haveOffset = false;
    std::uint32_t idOffset = 0;
    for (std::uint64_t k = 0; k < numCounters; ++k) {
        const std::uint64_t def = object + headerLength + k * perf::kCounterDefinitionStride;
        if (!r.Has(def, perf::kCounterDefinitionStride)) break;
        if (r.U32(def + 4) == idProcessCounter) {
            idOffset = r.U32(def + 36);
            haveOffset = true;
            break;
        }
    }
    if (!haveOffset || numInstances <= 0) return out;

    const std::size_t count = std::min<std::size_t>(maxEntries, static_cast<std::size_t>(numInstances));
    std::uint64_t instance = object + definitionLength;
    for (std::size_t i = 0; i < count; ++i) {
        if (!r.Has(instance, perf::kInstanceSize)) break;
        const std::uint32_t instanceLength = r.U32(instance);
        const std::uint32_t nameOffset = r.U32(instance + 16);
        const std::uint32_t nameLength = r.U32(instance + 20);
        // A length shorter than the structure itself would make the walk
        // stand still or step backwards.
        if (instanceLength < perf::kInstanceSize || !r.Has(instance, instanceLength)) break;
        const std::uint64_t block = instance + instanceLength;
        if (!r.Has(block, 4)) break;
        const std::uint32_t blockLength = r.U32(block);
        if (blockLength < 4 || !r.Has(block, blockLength) || !Fits(blockLength, idOffset, 4)) break;

        PerfProcess entry;
        std::string name;
        const bool nameFits = Fits(instanceLength, nameOffset, nameLength);
        if (!nameFits || !Utf16ToUtf8(r, instance + nameOffset, nameLength, name) ||
            name.size() + 1 > perf::kNameBuffer) {
            entry.name = "unknown";
        } else if (name.size() + 4 <= perf::kNameBuffer) {
            entry.name = name + ".exe";
        }
        const std::uint32_t pid = r.U32(block + idOffset);
        entry.processId = pid == 0 ? perf::kNoProcessId : pid;
        out.push_back(entry);
        instance = block + blockLength;
    }
    return out;
}
