#include "archive/ArchiveEnd.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr char Rar5Signature[] = "Rar!\x1A\x07\x01\x00";
constexpr size_t Rar5SignatureSize = 8;
constexpr char Rar4Signature[] = "Rar!\x1A\x07\x00";
constexpr size_t Rar4SignatureSize = 7;
// A self-extracting module ahead of the archive is smaller than this.
constexpr uint64_t MaxSfxSize = 4u << 20;
constexpr uint64_t MaxRar5HeaderSize = 2u << 20;

// RAR5 header types and flags.
constexpr uint64_t Rar5Encryption = 4;
constexpr uint64_t Rar5End = 5;
constexpr uint64_t Rar5HasExtra = 0x0001;
constexpr uint64_t Rar5HasData = 0x0002;
constexpr uint64_t Rar5EndNotLastVolume = 0x0001;

// RAR4 block types and flags.
constexpr uint8_t Rar4Main = 0x73;
constexpr uint8_t Rar4File = 0x74;
constexpr uint8_t Rar4Service = 0x7A;
constexpr uint8_t Rar4End = 0x7B;
constexpr uint16_t Rar4LongBlock = 0x8000;
constexpr uint16_t Rar4Large = 0x0100;
constexpr uint16_t Rar4MainPassword = 0x0080;
constexpr uint16_t Rar4EndNextVolume = 0x0001;

uint32_t Crc32(const uint8_t* data, size_t size)
{
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// Reads small pieces at growing offsets through one buffer, so a walk over
// many small headers costs few system calls.
class TBlockReader {
public:
    explicit TBlockReader(const std::string& path) : FFd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK))
    {
        struct stat st {};
        if (FFd >= 0 && fstat(FFd, &st) == 0 && S_ISREG(st.st_mode))
            FSize = static_cast<uint64_t>(st.st_size);
        else
            FSize = 0;
    }
    ~TBlockReader()
    {
        if (FFd >= 0)
            close(FFd);
    }
    TBlockReader(const TBlockReader&) = delete;
    TBlockReader& operator=(const TBlockReader&) = delete;

    bool Usable() const { return FFd >= 0 && FSize > 0; }
    uint64_t Size() const { return FSize; }

    // Copies `n` bytes at `offset`; false when the file ends first.
    bool Read(uint64_t offset, void* out, size_t n)
    {
        if (offset > FSize || n > FSize - offset)
            return false;
        if (n > FBuffer.size())
            return ReadDirect(offset, out, n);
        if (offset < FStart || offset + n > FStart + FFilled) {
            FStart = offset;
            FFilled = 0;
            const size_t want = static_cast<size_t>(std::min<uint64_t>(FBuffer.size(), FSize - offset));
            if (!ReadDirect(offset, FBuffer.data(), want))
                return false;
            FFilled = want;
        }
        std::memcpy(out, FBuffer.data() + (offset - FStart), n);
        return true;
    }

private:
    bool ReadDirect(uint64_t offset, void* out, size_t n)
    {
        auto* p = static_cast<uint8_t*>(out);
        while (n > 0) {
            const ssize_t got = pread(FFd, p, n, static_cast<off_t>(offset));
            if (got <= 0)
                return false;
            p += got;
            n -= static_cast<size_t>(got);
            offset += static_cast<uint64_t>(got);
        }
        return true;
    }

    int FFd;
    uint64_t FSize;
    std::array<uint8_t, 65536> FBuffer{};
    uint64_t FStart = 0;
    size_t FFilled = 0;
};

// A RAR5 variable-length integer from `data`, moving `pos` past it.
std::optional<uint64_t> ReadVint(const uint8_t* data, size_t size, size_t& pos)
{
    uint64_t value = 0;
    for (int shift = 0; pos < size && shift < 70; shift += 7) {
        const uint8_t byte = data[pos++];
        if (shift < 64)
            value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return value;
    }
    return std::nullopt;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

enum class TFormat { None, Rar4, Rar5 };

// Where the archive starts: at the beginning, or after a self-extracting module.
TFormat FindSignature(TBlockReader& file, uint64_t& start)
{
    std::vector<uint8_t> window(65536 + Rar5SignatureSize);
    const uint64_t limit = std::min(file.Size(), MaxSfxSize);
    for (uint64_t offset = 0; offset < limit; offset += 65536) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(window.size(), file.Size() - offset));
        if (n < Rar4SignatureSize || !file.Read(offset, window.data(), n))
            break;
        for (size_t i = 0; i + Rar4SignatureSize <= n && i < 65536; ++i) {
            if (window[i] != 'R')
                continue;
            if (i + Rar5SignatureSize <= n && std::memcmp(&window[i], Rar5Signature, Rar5SignatureSize) == 0) {
                start = offset + i + Rar5SignatureSize;
                return TFormat::Rar5;
            }
            if (std::memcmp(&window[i], Rar4Signature, Rar4SignatureSize) == 0) {
                start = offset + i + Rar4SignatureSize;
                return TFormat::Rar4;
            }
        }
    }
    return TFormat::None;
}

// RAR5: every block is a CRC32, a vint header size, the header (type, flags,
// optional extra and data sizes) and its data area; the last one is type 5.
TArchiveEnd WalkRar5(TBlockReader& file, uint64_t pos)
{
    std::vector<uint8_t> header;
    for (;;) {
        uint8_t head[4 + 10];
        const size_t headRead = static_cast<size_t>(std::min<uint64_t>(sizeof head, file.Size() - std::min(pos, file.Size())));
        if (headRead < 5 || !file.Read(pos, head, headRead))
            return TArchiveEnd::Cut;
        size_t at = 4;
        const auto headerSize = ReadVint(head, headRead, at);
        if (!headerSize || *headerSize == 0 || *headerSize > MaxRar5HeaderSize)
            return TArchiveEnd::Cut;
        const size_t sizeLength = at - 4;

        // The CRC covers the size field and the header.
        header.resize(sizeLength + static_cast<size_t>(*headerSize));
        if (!file.Read(pos + 4, header.data(), header.size()))
            return TArchiveEnd::Cut;
        if (Crc32(header.data(), header.size()) != Le32(head))
            return TArchiveEnd::Cut;

        size_t p = sizeLength;
        const auto type = ReadVint(header.data(), header.size(), p);
        const auto flags = ReadVint(header.data(), header.size(), p);
        if (!type || !flags)
            return TArchiveEnd::Cut;
        if (*type == Rar5Encryption)
            return TArchiveEnd::CannotTell;  // every later header is encrypted
        uint64_t dataSize = 0;
        if (*flags & Rar5HasExtra) {
            if (!ReadVint(header.data(), header.size(), p))
                return TArchiveEnd::Cut;
        }
        if (*flags & Rar5HasData) {
            const auto size = ReadVint(header.data(), header.size(), p);
            if (!size)
                return TArchiveEnd::Cut;
            dataSize = *size;
        }
        if (*type == Rar5End) {
            const auto endFlags = ReadVint(header.data(), header.size(), p);
            if (!endFlags)
                return TArchiveEnd::Cut;
            return (*endFlags & Rar5EndNotLastVolume) ? TArchiveEnd::Cut : TArchiveEnd::Complete;
        }

        const uint64_t blockEnd = pos + 4 + header.size();
        if (dataSize > file.Size() || blockEnd + dataSize > file.Size())
            return TArchiveEnd::Cut;
        pos = blockEnd + dataSize;
    }
}

// RAR 1.5-4.x: blocks of CRC16, type, flags, size, and for long blocks a
// 32-bit data size (the packed size of file and service blocks, with its
// high half further on when the large flag is set).
TArchiveEnd WalkRar4(TBlockReader& file, uint64_t pos)
{
    for (;;) {
        // Archives written with end blocks switched off stop on a block
        // boundary: that cannot be told from a cut there.
        if (pos == file.Size())
            return TArchiveEnd::CannotTell;
        uint8_t head[36];
        if (!file.Read(pos, head, 7))
            return TArchiveEnd::Cut;
        const uint8_t type = head[2];
        const uint16_t flags = Le16(head + 3);
        const uint16_t size = Le16(head + 5);
        if (size < 7)
            return TArchiveEnd::Cut;

        if (type == Rar4Main && (flags & Rar4MainPassword))
            return TArchiveEnd::CannotTell;  // every later header is encrypted
        if (type == Rar4End) {
            if (pos + size > file.Size())
                return TArchiveEnd::Cut;
            return (flags & Rar4EndNextVolume) ? TArchiveEnd::Cut : TArchiveEnd::Complete;
        }

        uint64_t dataSize = 0;
        if (flags & Rar4LongBlock) {
            if (size < 11 || !file.Read(pos, head, 11))
                return TArchiveEnd::Cut;
            dataSize = Le32(head + 7);
            if ((type == Rar4File || type == Rar4Service) && (flags & Rar4Large)) {
                if (size < 36 || !file.Read(pos, head, 36))
                    return TArchiveEnd::Cut;
                dataSize |= static_cast<uint64_t>(Le32(head + 32)) << 32;
            }
        }
        const uint64_t blockEnd = pos + size;
        if (blockEnd > file.Size() || dataSize > file.Size() - blockEnd)
            return TArchiveEnd::Cut;
        pos = blockEnd + dataSize;
    }
}

}  // namespace

TArchiveEnd CheckArchiveEnd(const std::string& path)
{
    TBlockReader file(path);
    if (!file.Usable())
        return TArchiveEnd::CannotTell;
    uint64_t start = 0;
    switch (FindSignature(file, start)) {
    case TFormat::Rar5: return WalkRar5(file, start);
    case TFormat::Rar4: return WalkRar4(file, start);
    case TFormat::None: break;
    }
    return TArchiveEnd::CannotTell;
}
