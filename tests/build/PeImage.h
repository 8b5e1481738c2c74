// PeImage: the parts of a Windows program file the build checks read (headers, sections, imports).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct PeSection
{
    std::string name;
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawOffset;
    uint32_t rawSize;
    uint32_t characteristics;
};

struct PeDirectory
{
    uint32_t rva;
    uint32_t size;
};

// A whole image in memory. Anything that points outside the file throws std::runtime_error, so a
// damaged program fails the checks instead of crashing them.
class PeImage
{
public:
    enum : int
    {
        kImportDirectory = 1,
        kBaseRelocationDirectory = 5,
        kDebugDirectory = 6,
        kTlsDirectory = 9,
        kDelayImportDirectory = 13,
    };

    explicit PeImage(std::vector<uint8_t> bytes);
    static PeImage Load(const std::string& path);

    size_t FileSize() const { return m_bytes.size(); }
    uint16_t Machine() const { return Read16(m_coff); }
    uint32_t TimeDateStamp() const { return Read32(m_coff + 4); }
    uint16_t Characteristics() const { return Read16(m_coff + 18); }
    bool Is64() const { return m_b64; }
    uint64_t ImageBase() const { return m_b64 ? Read64(m_optional + 24) : Read32(m_optional + 28); }
    uint32_t EntryPoint() const { return Read32(m_optional + 16); }
    uint32_t CheckSum() const { return Read32(m_optional + 64); }
    uint16_t Subsystem() const { return Read16(m_optional + 68); }
    // The oldest Windows the image declares it is for, as major and minor version.
    std::pair<uint16_t, uint16_t> OsVersion() const { return { Read16(m_optional + 40), Read16(m_optional + 42) }; }
    std::pair<uint16_t, uint16_t> SubsystemVersion() const { return { Read16(m_optional + 48), Read16(m_optional + 50) }; }
    uint16_t DllCharacteristics() const { return Read16(m_optional + 70); }
    // An absent directory reads as zero address and size.
    PeDirectory Directory(int index) const;
    const std::vector<PeSection>& Sections() const { return m_sections; }

    // The DLL names of the import and the delay-load import tables, as written in the file.
    std::vector<std::string> ImportedDlls() const;
    std::vector<std::string> DelayImportedDlls() const;
    // The type (high four bits) of every entry of the base relocation table, padding included.
    std::vector<int> RelocationTypes() const;
    // The addresses (not relative) of the TLS callbacks, in the order the loader calls them.
    std::vector<uint64_t> TlsCallbacks() const;
    // The checksum as the image loader and the signing tools compute it.
    uint32_t ComputeCheckSum() const;

private:
    uint16_t Read16(size_t offset) const;
    uint32_t Read32(size_t offset) const;
    uint64_t Read64(size_t offset) const;
    uint64_t ReadPointer(size_t offset) const { return m_b64 ? Read64(offset) : Read32(offset); }
    size_t RvaToOffset(uint32_t rva) const;
    std::string StringAt(uint32_t rva) const;
    std::vector<std::string> DllNames(int directory, size_t descriptorSize, size_t nameField) const;

    std::vector<uint8_t> m_bytes;
    size_t m_coff = 0;
    size_t m_optional = 0;
    bool m_b64 = false;
    std::vector<PeSection> m_sections;
};
