// Reading structures out of untrusted bytes: one fit check that cannot wrap
// around, and little-endian reads that answer zero outside the buffer.
#pragma once

#include <cstddef>
#include <cstdint>

// Do `length` bytes at `offset` lie inside a buffer of `size` bytes? The
// sizes are compared before any sum is formed, so no value can overflow.
constexpr bool Fits(std::size_t size, std::uint64_t offset, std::uint64_t length) {
    return offset <= size && length <= size - offset;
}

class CByteReader {
public:
    CByteReader(const std::uint8_t* data, std::size_t size) : m_pData(data), m_size(size) {}

    std::size_t Size() const { return m_size; }
    bool Has(std::uint64_t offset, std::uint64_t length) const { return Fits(m_size, offset, length); }

    std::uint8_t U8(std::uint64_t offset) const { return Has(offset, 1) ? m_pData[offset] : 0; }
    std::uint16_t U16(std::uint64_t offset) const {
        return Has(offset, 2) ? static_cast<std::uint16_t>(m_pData[offset] | (m_pData[offset + 1] << 8)) : 0;
    }
    std::uint32_t U32(std::uint64_t offset) const {
        if (!Has(offset, 4)) return 0;
        return static_cast<std::uint32_t>(m_pData[offset]) | (static_cast<std::uint32_t>(m_pData[offset + 1]) << 8) |
               (static_cast<std::uint32_t>(m_pData[offset + 2]) << 16) |
               (static_cast<std::uint32_t>(m_pData[offset + 3]) << 24);
    }

private:
    const std::uint8_t* m_pData;
    std::size_t m_size;
};
