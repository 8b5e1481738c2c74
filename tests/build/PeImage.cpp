#include "PeImage.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace
{
[[noreturn]] void Malformed(const std::string& what)
{
    throw std::runtime_error("not a well-formed PE image: " + what);
}
}  // namespace

PeImage::PeImage(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes))
{
    if (Read16(0) != 0x5A4D)
        Malformed("no MZ header");
    const size_t pe = Read32(0x3C);
    if (Read32(pe) != 0x00004550)
        Malformed("no PE signature");
    m_coff = pe + 4;
    m_optional = m_coff + 20;
    const uint16_t magic = Read16(m_optional);
    if (magic != 0x10B && magic != 0x20B)
        Malformed("unknown optional header magic");
    m_b64 = magic == 0x20B;

    const size_t sectionTable = m_optional + Read16(m_coff + 16);
    for (size_t i = 0, count = Read16(m_coff + 2); i < count; ++i)
    {
        const size_t s = sectionTable + i * 40;
        Read32(s + 36);  // throws unless the whole entry is in the file
        std::string name(reinterpret_cast<const char*>(&m_bytes[s]), 8);
        name.resize(name.find('\0') == std::string::npos ? 8 : name.find('\0'));
        m_sections.push_back({ name, Read32(s + 12), Read32(s + 8), Read32(s + 20), Read32(s + 16), Read32(s + 36) });
    }
}

PeImage PeImage::Load(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot open " + path);
    return PeImage(std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
}

uint16_t PeImage::Read16(size_t offset) const
{
    if (offset + 2 > m_bytes.size())
        Malformed("read past the end of the file");
    return static_cast<uint16_t>(m_bytes[offset] | m_bytes[offset + 1] << 8);
}

uint32_t PeImage::Read32(size_t offset) const
{
    return Read16(offset) | static_cast<uint32_t>(Read16(offset + 2)) << 16;
}

uint64_t PeImage::Read64(size_t offset) const
{
    return Read32(offset) | static_cast<uint64_t>(Read32(offset + 4)) << 32;
}

PeDirectory PeImage::Directory(int index) const
{
    const size_t count = m_b64 ? Read32(m_optional + 108) : Read32(m_optional + 92);
    if (static_cast<size_t>(index) >= count)
        return { 0, 0 };
    const size_t entry = m_optional + (m_b64 ? 112 : 96) + 8 * static_cast<size_t>(index);
    return { Read32(entry), Read32(entry + 4) };
}

size_t PeImage::RvaToOffset(uint32_t rva) const
{
    for (const PeSection& section : m_sections)
    {
        if (rva >= section.virtualAddress && rva - section.virtualAddress < section.rawSize)
            return section.rawOffset + (rva - section.virtualAddress);
    }
    Malformed("address outside every section");
}

std::string PeImage::StringAt(uint32_t rva) const
{
    std::string text;
    for (size_t offset = RvaToOffset(rva);; ++offset)
    {
        if (offset >= m_bytes.size())
            Malformed("unterminated string");
        if (m_bytes[offset] == 0)
            return text;
        text += static_cast<char>(m_bytes[offset]);
    }
}

std::vector<std::string> PeImage::DllNames(int directory, size_t descriptorSize, size_t nameField) const
{
    std::vector<std::string> names;
    const PeDirectory dir = Directory(directory);
    if (dir.rva == 0)
        return names;
    // The table ends with an all-zero descriptor; its name field alone is enough to tell.
    for (size_t descriptor = RvaToOffset(dir.rva);; descriptor += descriptorSize)
    {
        const uint32_t nameRva = Read32(descriptor + nameField);
        if (nameRva == 0)
            return names;
        names.push_back(StringAt(nameRva));
    }
}

std::vector<std::string> PeImage::ImportedDlls() const
{
    return DllNames(kImportDirectory, 20, 12);
}

std::vector<std::string> PeImage::DelayImportedDlls() const
{
    return DllNames(kDelayImportDirectory, 32, 4);
}

std::vector<int> PeImage::RelocationTypes() const
{
    std::vector<int> types;
    const PeDirectory dir = Directory(kBaseRelocationDirectory);
    if (dir.size == 0)
        return types;
    const size_t begin = RvaToOffset(dir.rva);
    for (size_t block = begin; block < begin + dir.size;)
    {
        const uint32_t blockSize = Read32(block + 4);
        if (blockSize < 8 || blockSize % 2 != 0 || block + blockSize > begin + dir.size)
            Malformed("relocation block of a bad size");
        for (size_t entry = block + 8; entry < block + blockSize; entry += 2)
            types.push_back(Read16(entry) >> 12);
        block += blockSize;
    }
    return types;
}

std::vector<uint64_t> PeImage::TlsCallbacks() const
{
    std::vector<uint64_t> callbacks;
    const PeDirectory dir = Directory(kTlsDirectory);
    if (dir.rva == 0)
        return callbacks;
    // Start and end of the template, address of the index, then the address of the callbacks.
    const uint64_t listAddress = ReadPointer(RvaToOffset(dir.rva) + (m_b64 ? 24 : 12));
    if (listAddress == 0)
        return callbacks;
    if (listAddress < ImageBase())
        Malformed("TLS callback list below the image");
    const size_t pointerSize = m_b64 ? 8 : 4;
    for (size_t entry = RvaToOffset(static_cast<uint32_t>(listAddress - ImageBase()));; entry += pointerSize)
    {
        const uint64_t callback = ReadPointer(entry);
        if (callback == 0)
            return callbacks;
        callbacks.push_back(callback);
    }
}

uint32_t PeImage::ComputeCheckSum() const
{
    // The 16-bit one's-complement-style sum of the file with the checksum field read as zero,
    // plus the file's length.
    const size_t checkSumField = m_optional + 64;
    uint64_t sum = 0;
    for (size_t offset = 0; offset < m_bytes.size(); offset += 2)
    {
        if (offset == checkSumField || offset == checkSumField + 2)
            continue;
        const uint32_t word = m_bytes[offset] | (offset + 1 < m_bytes.size() ? m_bytes[offset + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + m_bytes.size());
}
