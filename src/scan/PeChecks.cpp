#include "scan/PeChecks.h"

#include <algorithm>
#include <cstring>

#include "sys/Bytes.h"

namespace {

// Offsets inside the NT headers.
constexpr std::uint64_t kNumberOfSectionsAt = 6;
constexpr std::uint64_t kSizeOfOptionalHeaderAt = 20;
constexpr std::uint64_t kOptionalHeaderAt = 24;
constexpr std::uint64_t kAddressOfEntryPointAt = 40;
constexpr std::uint64_t kSizeOfHeadersAt = 84;

// A section header and its fields.
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kVirtualAddressAt = 12;
constexpr std::uint64_t kPointerToRawDataAt = 20;

constexpr std::uint8_t kBagleNMarker[pe::kBagleMarkerSize] = {0x66, 0x9C};
constexpr std::uint8_t kTanatosStub[pe::kTanatosStubSize] = {0xE9, 0x7A, 0x01, 0x00, 0x00, 0x90, 0x90, 0x90,
                                                             0x8A, 0x06, 0x46, 0x88, 0x07, 0x47, 0x01, 0xDB};

}  // namespace

bool IsDosExecutable(const std::uint8_t* dosHeader, std::size_t length) {
    return dosHeader != nullptr && length >= pe::kDosHeaderSize && dosHeader[0] == 'M' && dosHeader[1] == 'Z';
}

std::uint32_t NtHeadersOffset(const std::uint8_t* dosHeader, std::size_t length) {
    return CByteReader(dosHeader, dosHeader ? length : 0).U32(pe::kNtHeadersOffsetAt);
}

bool HasPeSignature(const std::uint8_t* ntHeaders, std::size_t length) {
    return ntHeaders != nullptr && length >= 4 && ntHeaders[0] == 'P' && ntHeaders[1] == 'E' && ntHeaders[2] == 0 &&
           ntHeaders[3] == 0;
}

std::uint32_t HeaderBlockLength(const std::uint8_t* ntHeaders, std::size_t length) {
    const std::uint32_t sizeOfHeaders = CByteReader(ntHeaders, ntHeaders ? length : 0).U32(kSizeOfHeadersAt);
    return std::min(sizeOfHeaders, pe::kMaxHeaderBlock);
}

PeProbePositions LocatePeProbes(const std::uint8_t* ntHeaders, std::size_t ntLength, const std::uint8_t* block,
                                std::size_t blockLength) {
    PeProbePositions positions;
    const CByteReader nt(ntHeaders, ntHeaders ? ntLength : 0);
    const CByteReader section(block, block ? blockLength : 0);
    const std::uint32_t count = nt.U16(kNumberOfSectionsAt);
    const std::uint32_t entryPoint = nt.U32(kAddressOfEntryPointAt);
    const std::uint64_t tableAt = kOptionalHeaderAt + nt.U16(kSizeOfOptionalHeaderAt);

    std::uint32_t entryPosition = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t at = tableAt + std::uint64_t{i} * kSectionHeaderSize;
        // Later headers lie further out still, so the first that does not
        // fit ends the walk; a count of 0xFFFF costs no more than the block.
        if (!section.Has(at, kSectionHeaderSize)) break;
        const std::uint32_t rawData = section.U32(at + kPointerToRawDataAt);
        if (rawData == 0) continue;
        const std::uint8_t* name = block + at;
        if (name[0] == 0) positions.bagleMarker = rawData;
        if (std::memcmp(name, "UPX1", 4) == 0) {
            entryPosition = rawData - section.U32(at + kVirtualAddressAt) + entryPoint;
        }
    }
    positions.tanatosStub = entryPosition + pe::kTanatosStubDistance;
    return positions;
}

bool IsBagleNMarker(const std::uint8_t* bytes) {
    return std::memcmp(bytes, kBagleNMarker, sizeof kBagleNMarker) == 0;
}

bool IsTanatosStub(const std::uint8_t* bytes) { return std::memcmp(bytes, kTanatosStub, sizeof kTanatosStub) == 0; }

std::uint32_t CMemoryFileBytes::Read(std::uint64_t offset, std::uint8_t* buffer, std::uint32_t length) const {
    if (offset >= m_size) return 0;
    const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, m_size - offset));
    std::copy(m_pData + offset, m_pData + offset + n, buffer);
    return n;
}

namespace {

std::uint32_t ReadZeroFilled(const IFileBytes& file, std::uint64_t offset, std::uint8_t* buffer,
                             std::uint32_t length) {
    const std::uint32_t read = std::min(file.Read(offset, buffer, length), length);
    std::fill(buffer + read, buffer + length, std::uint8_t{0});
    return read;
}

}  // namespace

PeVerdict ProbeExecutable(const IFileBytes& file, const std::uint8_t* dosHeader, std::uint8_t* block) {
    const std::uint32_t ntOffset = NtHeadersOffset(dosHeader, pe::kDosHeaderSize);
    std::uint8_t ntHeaders[pe::kNtHeadersSize];
    const std::uint32_t ntRead = ReadZeroFilled(file, ntOffset, ntHeaders, sizeof ntHeaders);
    if (ntRead == 0 || !HasPeSignature(ntHeaders, ntRead)) return PeVerdict::None;

    const std::uint32_t blockLength = HeaderBlockLength(ntHeaders, ntRead);
    if (blockLength == 0) return PeVerdict::None;
    const std::uint32_t blockRead = std::min(file.Read(ntOffset, block, blockLength), blockLength);
    if (blockRead == 0) return PeVerdict::None;

    const PeProbePositions at = LocatePeProbes(ntHeaders, ntRead, block, blockRead);
    std::uint8_t marker[pe::kBagleMarkerSize];
    std::uint8_t stub[pe::kTanatosStubSize];
    ReadZeroFilled(file, at.bagleMarker, marker, sizeof marker);
    ReadZeroFilled(file, at.tanatosStub, stub, sizeof stub);
    if (IsBagleNMarker(marker)) return PeVerdict::BagleN;
    if (IsTanatosStub(stub)) return PeVerdict::Tanatos;
    return PeVerdict::None;
}
