// Small Win32 executables for the classifier's tests: a DOS header, the NT
// headers with a PE32 optional header, a section table, and bytes placed
// anywhere. Every header field the pre-checks read can be set to a damaged
// value, so each malformed case is one changed field.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CPeFixture {
public:
    struct CSection {
        std::string name;  // up to 8 bytes; empty gives an unnamed section
        std::uint32_t virtualAddress = 0;
        std::uint32_t pointerToRawData = 0;
    };

    std::uint32_t m_ntOffset = 0x80;  // e_lfanew
    bool m_bPeSignature = true;
    std::uint32_t m_sizeOfHeaders = 0x400;
    std::uint16_t m_sizeOfOptionalHeader = 224;
    std::optional<std::uint16_t> m_numberOfSections;  // default: the sections given
    std::uint32_t m_entryPoint = 0x1000;
    std::vector<CSection> m_sections;
    std::size_t m_fileSize = 0x800;

    // Bytes placed at an offset after the headers are written; the file
    // grows to hold them.
    void Place(std::size_t offset, const std::string& bytes) { m_patches.push_back({offset, bytes}); }

    std::string Bytes() const {
        std::string file(m_fileSize, '\0');
        Put(file, 0, "MZ");
        Put32(file, 60, m_ntOffset);
        const std::size_t nt = m_ntOffset;
        if (m_bPeSignature) Put(file, nt, std::string("PE\0\0", 4));
        Put16(file, nt + 4, 0x14C);  // Machine: i386
        Put16(file, nt + 6, m_numberOfSections.value_or(static_cast<std::uint16_t>(m_sections.size())));
        Put16(file, nt + 20, m_sizeOfOptionalHeader);
        Put16(file, nt + 22, 0x010F);  // Characteristics: an executable image
        Put16(file, nt + 24, 0x10B);   // optional header magic: PE32
        Put32(file, nt + 40, m_entryPoint);
        Put32(file, nt + 84, m_sizeOfHeaders);
        std::size_t at = nt + 24 + m_sizeOfOptionalHeader;
        for (const CSection& section : m_sections) {
            Put(file, at, section.name.substr(0, 8));
            Put32(file, at + 12, section.virtualAddress);
            Put32(file, at + 20, section.pointerToRawData);
            at += 40;
        }
        for (const auto& [offset, bytes] : m_patches) Put(file, offset, bytes);
        return file;
    }

private:
    static void Put(std::string& file, std::size_t offset, const std::string& bytes) {
        if (file.size() < offset + bytes.size()) file.resize(offset + bytes.size(), '\0');
        file.replace(offset, bytes.size(), bytes);
    }
    static void Put16(std::string& file, std::size_t offset, std::uint16_t v) {
        Put(file, offset, {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)});
    }
    static void Put32(std::string& file, std::size_t offset, std::uint32_t v) {
        Put(file, offset,
            {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF), static_cast<char>((v >> 16) & 0xFF),
             static_cast<char>(v >> 24)});
    }

    std::vector<std::pair<std::size_t, std::string>> m_patches;
};

// The Tanatos packer's stub and the Bagle.n marker, as the test files hold them.
inline const std::string kTanatosStubBytes("\xE9\x7A\x01\x00\x00\x90\x90\x90\x8A\x06\x46\x88\x07\x47\x01\xDB", 16);
inline const std::string kBagleNMarkerBytes("\x66\x9C", 2);

// A packed executable as Tanatos leaves it: a "UPX1" section whose entry
// point's file position is 0x500, with the stub 16 bytes behind it.
inline CPeFixture TanatosFixture() {
    CPeFixture pe;
    pe.m_entryPoint = 0x1100;
    pe.m_sections = {{"UPX0", 0x1000, 0}, {"UPX1", 0x1000, 0x400}};
    pe.Place(0x510, kTanatosStubBytes);
    return pe;
}
constexpr std::size_t kTanatosStubAt = 0x510;

// Bagle.n: an unnamed last section whose raw data begins with the marker.
inline CPeFixture BagleNFixture() {
    CPeFixture pe;
    pe.m_sections = {{".text", 0x1000, 0x400}, {"", 0x2000, 0x600}};
    pe.Place(0x600, kBagleNMarkerBytes);
    return pe;
}
