// The classifier's two extra tests for Win32 executables, as functions over
// bytes the caller read: where in the file the Bagle.n marker and the Tanatos
// stub would be, and whether the bytes found there are they. The headers come
// from untrusted files, so every field is read through the bounds-checked
// reader and nothing outside the bytes given is ever used.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pe {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kNtHeadersOffsetAt = 60;  // e_lfanew in the DOS header
// Signature, file header and the 224-byte optional header of a PE32 image.
constexpr std::size_t kNtHeadersSize = 248;

// The header block is read from the NT headers on, `SizeOfHeaders` bytes,
// and only its section table is used. The system pads the headers to the
// file alignment, which is at most 64 KB, so real files stay below this; a
// larger value comes from a damaged or hostile file, and its section headers
// beyond the limit are simply not examined. The limit also keeps the block a
// fixed buffer, out of reach of a length that would overflow when the file
// claims close to 4 GB.
constexpr std::uint32_t kMaxHeaderBlock = 64 * 1024;

constexpr std::size_t kBagleMarkerSize = 2;
constexpr std::size_t kTanatosStubSize = 16;
// The stub lies this far behind the entry point.
constexpr std::uint32_t kTanatosStubDistance = 16;

}  // namespace pe

// True for a full 64-byte DOS header that starts with "MZ".
bool IsDosExecutable(const std::uint8_t* dosHeader, std::size_t length);
// e_lfanew: the file position of the NT headers.
std::uint32_t NtHeadersOffset(const std::uint8_t* dosHeader, std::size_t length);
// True when the NT headers read begin with "PE" and two zero bytes.
bool HasPeSignature(const std::uint8_t* ntHeaders, std::size_t length);
// How many bytes of header block to read from the NT headers on:
// SizeOfHeaders, clamped to pe::kMaxHeaderBlock.
std::uint32_t HeaderBlockLength(const std::uint8_t* ntHeaders, std::size_t length);

// File positions of the pre-checks' two reads. Without a qualifying section
// they point into the DOS header (0 and 16), where a real executable holds
// neither pattern.
struct PeProbePositions {
    // PointerToRawData of the last section with an empty name.
    std::uint32_t bagleMarker = 0;
    // Entry point's file position (from the last section whose name begins
    // with "UPX1") plus the stub distance, all modulo 2^32: the packer's
    // loader did its arithmetic in 32 bits, and a position that wraps past
    // the file's end simply reads nothing.
    std::uint32_t tanatosStub = 0;
};

// Walks the section table of the header block. The counts and the entry
// point come from `ntHeaders` (the bytes read there); section headers are
// examined only while they lie wholly inside `block`.
PeProbePositions LocatePeProbes(const std::uint8_t* ntHeaders, std::size_t ntLength, const std::uint8_t* block,
                                std::size_t blockLength);

// The two bytes 66 9C at the start of Bagle.n's unnamed section.
bool IsBagleNMarker(const std::uint8_t* bytes);
// The 16 bytes of the Tanatos packer's stub.
bool IsTanatosStub(const std::uint8_t* bytes);

// Where the pre-checks read a file from: the classifier's open file, or
// bytes already in memory.
class IFileBytes {
public:
    virtual ~IFileBytes() = default;
    // Copies at most `length` bytes from `offset` on; returns how many.
    virtual std::uint32_t Read(std::uint64_t offset, std::uint8_t* buffer, std::uint32_t length) const = 0;
};

// A whole file held in memory.
class CMemoryFileBytes : public IFileBytes {
public:
    CMemoryFileBytes(const std::uint8_t* data, std::size_t size) : m_pData(data), m_size(data ? size : 0) {}
    std::uint32_t Read(std::uint64_t offset, std::uint8_t* buffer, std::uint32_t length) const override;

private:
    const std::uint8_t* m_pData;
    std::size_t m_size;
};

enum class PeVerdict { None, BagleN, Tanatos };

// The pre-checks' reads of a file that begins with the full DOS header
// `dosHeader` (see IsDosExecutable). `block` is scratch room of
// pe::kMaxHeaderBlock bytes for the header block.
PeVerdict ProbeExecutable(const IFileBytes& file, const std::uint8_t* dosHeader, std::uint8_t* block);
