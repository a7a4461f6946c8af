#include "rar4_writer.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <openssl/evp.h>
#include <stdexcept>

namespace rar4 {
namespace {

constexpr uint8_t MainHead = 0x73;
constexpr uint8_t FileHead = 0x74;
constexpr uint8_t EndHead = 0x7B;
constexpr uint8_t StoreMethod = 0x30;
const std::string Marker("Rar!\x1a\x07\x00", 7);

const std::array<uint32_t, 256>& CrcTable()
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

void Put16(std::string& out, uint32_t v)
{
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A block is HEAD_CRC, then `body` (HEAD_TYPE on); HEAD_SIZE is patched in
// at offset 3 of the body. The CRC is the low half of CRC32 over the body.
std::string Block(std::string body)
{
    const uint32_t size = uint32_t(body.size() + 2);
    body[3] = char(size & 0xFF);
    body[4] = char(size >> 8);
    std::string out;
    Put16(out, Crc32(body) & 0xFFFF);
    return out + body;
}

// With a header password, a block after the main header is stored as the
// salt and the block encrypted with AES-128-CBC, zero-padded to 16 bytes.
class HeaderSealer {
public:
    explicit HeaderSealer(const ArchiveOptions& options) : FSalt(options.salt)
    {
        if (options.headerPassword.empty())
            return;
        FKey = DeriveHeaderKey(options.headerPassword, options.salt);
        FOn = true;
    }

    uint16_t MainFlags() const { return FOn ? MHD_PASSWORD : 0; }

    std::string Seal(std::string block) const
    {
        if (!FOn)
            return block;
        block.resize((block.size() + 15) / 16 * 16, '\0');
        std::string out(block.size(), '\0');
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        int n = 0;
        const bool ok = ctx && EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, FKey.key.data(), FKey.iv.data()) &&
                        EVP_CIPHER_CTX_set_padding(ctx, 0) &&
                        EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n,
                                          reinterpret_cast<const unsigned char*>(block.data()), int(block.size())) &&
                        size_t(n) == block.size();
        EVP_CIPHER_CTX_free(ctx);
        if (!ok)
            throw std::runtime_error("AES encryption failed");
        return std::string(reinterpret_cast<const char*>(FSalt.data()), FSalt.size()) + out;
    }

private:
    Salt FSalt;
    HeaderKey FKey;
    bool FOn = false;
};

std::string MainHeader(uint16_t flags)
{
    std::string body;
    body.push_back(char(MainHead));
    Put16(body, flags);
    Put16(body, 0);  // size, patched by Block
    Put16(body, 0);  // reserved
    Put32(body, 0);  // reserved
    return Block(body);
}

std::string EndHeader(uint16_t flags)
{
    std::string body;
    body.push_back(char(EndHead));
    Put16(body, flags);
    Put16(body, 0);
    return Block(body);
}

// UTF-8 to UTF-16 code units; bytes that are no valid UTF-8 pass as Latin-1.
std::u16string Utf16(const std::string& s)
{
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        const auto b = uint8_t(s[i]);
        uint32_t cp = b;
        size_t len = 1;
        const size_t left = s.size() - i;
        auto cont = [&](size_t k) { return uint32_t(uint8_t(s[i + k]) & 0x3F); };
        if (b >= 0xF0 && left >= 4) {
            cp = ((b & 0x07u) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
            len = 4;
        } else if (b >= 0xE0 && left >= 3) {
            cp = ((b & 0x0Fu) << 12) | (cont(1) << 6) | cont(2);
            len = 3;
        } else if (b >= 0xC0 && left >= 2) {
            cp = ((b & 0x1Fu) << 6) | cont(1);
            len = 2;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += len;
    }
    return out;
}

bool IsAscii(const std::string& s)
{
    for (char c : s)
        if (uint8_t(c) >= 0x80)
            return false;
    return true;
}

// RAR 2.9 encoded Unicode name: one high byte (unused here, 0), then groups of
// a flag byte and up to four characters. Flag pair 0 is one byte below 0x100,
// pair 2 is a full 16-bit character, low byte first.
std::string EncodeUtf16(const std::u16string& name)
{
    std::string out(1, '\0');
    for (size_t i = 0; i < name.size(); i += 4) {
        uint8_t flags = 0;
        std::string chars;
        for (size_t k = 0; k < 4; ++k) {
            uint8_t mode = 0;
            if (i + k < name.size()) {
                const char16_t c = name[i + k];
                if (c < 0x100) {
                    chars.push_back(char(c));
                } else {
                    mode = 2;
                    Put16(chars, c);
                }
            }
            flags |= uint8_t(mode << (6 - 2 * k));
        }
        out.push_back(char(flags));
        out += chars;
    }
    return out;
}

std::string FileHeader(const Entry& e, uint16_t splitFlags, uint32_t partSize, uint32_t crc)
{
    const EncodedName name = EncodeName(e.name, e.nameForm, e.host);
    const uint64_t unpSize = e.declaredSize.value_or(e.data.size());
    const uint64_t packSize = partSize;
    const bool large = unpSize > 0xFFFFFFFFu;

    uint16_t flags = LONG_BLOCK | splitFlags;
    if (e.directory)
        flags |= LHD_DIRECTORY;
    if (name.unicode)
        flags |= LHD_UNICODE;
    if (large)
        flags |= LHD_LARGE;

    std::string body;
    body.push_back(char(FileHead));
    Put16(body, flags);
    Put16(body, 0);  // size, patched by Block
    Put32(body, uint32_t(packSize));
    Put32(body, uint32_t(unpSize));
    body.push_back(char(e.host));
    Put32(body, crc);
    Put32(body, e.dosTime);
    body.push_back(char(e.version));
    body.push_back(char(StoreMethod));
    Put16(body, uint32_t(name.field.size()));
    Put32(body, e.attributes);
    if (large) {
        Put32(body, uint32_t(packSize >> 32));
        Put32(body, uint32_t(unpSize >> 32));
    }
    body += name.field;
    return Block(body);
}

// RAR 2.9's SHA-1 wrote its message schedule (the last 16 words, low byte
// first) back over each whole 64-byte block it hashed straight from the
// caller's buffer, that is every block but the one completing its own buffer.
// The key scheme was kept that way, so long passwords depend on it.
void ScheduleBackIntoBuffer(std::string& buffer, uint64_t hashedBefore)
{
    const size_t inBuffer = size_t(hashedBefore % 64);
    if (inBuffer + buffer.size() < 64)
        return;
    for (size_t at = 64 - inBuffer; at + 64 <= buffer.size(); at += 64) {
        std::array<uint32_t, 80> w{};
        for (size_t t = 0; t < 16; ++t)
            for (size_t b = 0; b < 4; ++b)
                w[t] = (w[t] << 8) | uint8_t(buffer[at + 4 * t + b]);
        for (size_t t = 16; t < 80; ++t) {
            const uint32_t x = w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16];
            w[t] = (x << 1) | (x >> 31);
        }
        for (size_t t = 0; t < 16; ++t)
            for (size_t b = 0; b < 4; ++b)
                buffer[at + 4 * t + b] = char(w[64 + t] >> (8 * b));
    }
}

}  // namespace

HeaderKey DeriveHeaderKey(const std::string& password, const Salt& salt)
{
    // UTF-16LE, except that the library (wchar_t of 32 bits) hands the key
    // scheme a character beyond U+FFFF as its low 16 bits, not as a pair.
    const std::u16string units = Utf16(password);
    std::string buffer;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        buffer.push_back(char(c & 0xFF));
        buffer.push_back(char((c >> 8) & 0xFF));
    }
    buffer.append(reinterpret_cast<const char*>(salt.data()), salt.size());

    constexpr uint32_t Rounds = 0x40000;
    HeaderKey out;
    EVP_MD_CTX* sha = EVP_MD_CTX_new();
    EVP_MD_CTX* partial = EVP_MD_CTX_new();
    unsigned char digest[20];
    bool ok = sha && partial && EVP_DigestInit_ex(sha, EVP_sha1(), nullptr);
    uint64_t hashed = 0;
    for (uint32_t round = 0; ok && round < Rounds; ++round) {
        ok = EVP_DigestUpdate(sha, buffer.data(), buffer.size());
        ScheduleBackIntoBuffer(buffer, hashed);
        const unsigned char counter[3] = {uint8_t(round), uint8_t(round >> 8), uint8_t(round >> 16)};
        ok = ok && EVP_DigestUpdate(sha, counter, 3);
        hashed += buffer.size() + 3;
        if (ok && round % (Rounds / 16) == 0) {
            ok = EVP_MD_CTX_copy_ex(partial, sha) && EVP_DigestFinal_ex(partial, digest, nullptr);
            out.iv[round / (Rounds / 16)] = digest[19];  // low byte of the fifth word
        }
    }
    ok = ok && EVP_DigestFinal_ex(sha, digest, nullptr);
    EVP_MD_CTX_free(partial);
    EVP_MD_CTX_free(sha);
    if (!ok)
        throw std::runtime_error("SHA-1 failed");
    // The first four words, each least significant byte first.
    for (size_t i = 0; i < 16; ++i)
        out.key[i] = digest[i / 4 * 4 + 3 - i % 4];
    return out;
}

uint32_t Crc32(const void* data, size_t size, uint32_t crc)
{
    const auto& table = CrcTable();
    const auto* p = static_cast<const uint8_t*>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t Crc32(const std::string& bytes)
{
    return Crc32(bytes.data(), bytes.size());
}

uint32_t DosTime(int year, int month, int day, int hour, int minute, int second)
{
    const uint32_t date = uint32_t(((year - 1980) << 9) | (month << 5) | day);
    const uint32_t time = uint32_t((hour << 11) | (minute << 5) | (second / 2));
    return (date << 16) | time;
}

EncodedName EncodeName(const std::string& utf8Name, NameForm form, HostOs host)
{
    std::string name = utf8Name;
    // DOS, OS/2 and Windows archives separate folders with a backslash.
    if (host == HostOs::MsDos || host == HostOs::Os2 || host == HostOs::Windows)
        for (char& c : name)
            if (c == '/')
                c = '\\';

    if (form == NameForm::Auto)
        form = IsAscii(name) ? NameForm::Auto : NameForm::Encoded;
    switch (form) {
    case NameForm::Auto:
        return {name, false};
    case NameForm::Utf8:
        return {name, true};
    case NameForm::Encoded:
        break;
    }
    const std::u16string wide = Utf16(name);
    std::string narrow;
    for (char16_t c : wide)
        narrow.push_back(c < 0x80 ? char(c) : '_');
    return {narrow + std::string(1, '\0') + EncodeUtf16(wide), true};
}

std::string WriteArchive(const std::vector<Entry>& entries, const ArchiveOptions& options)
{
    const HeaderSealer sealer(options);
    std::string out = Marker + MainHeader(sealer.MainFlags());
    for (const Entry& e : entries) {
        out += sealer.Seal(FileHeader(e, 0, uint32_t(e.data.size()), Crc32(e.data)));
        out += e.data;
    }
    return out + sealer.Seal(EndHeader(0));
}

std::vector<std::string> WriteVolumes(const std::vector<Entry>& entries, size_t dataPerVolume,
                                      const ArchiveOptions& options)
{
    const HeaderSealer sealer(options);
    const uint16_t setFlags = MHD_VOLUME | sealer.MainFlags() | (options.newNumbering ? MHD_NEWNUMBERING : 0);
    std::vector<std::string> volumes;
    std::string current;
    size_t room = 0;
    auto startVolume = [&] {
        if (!volumes.empty() || !current.empty())
            volumes.push_back(current + sealer.Seal(EndHeader(EARC_NEXT_VOLUME)));
        current = Marker + MainHeader(setFlags | (volumes.empty() ? MHD_FIRSTVOLUME : 0));
        room = dataPerVolume;
    };
    startVolume();
    for (const Entry& e : entries) {
        size_t done = 0;
        bool first = true;
        do {
            if (room == 0)
                startVolume();
            const size_t part = std::min(room, e.data.size() - done);
            const bool last = done + part == e.data.size();
            uint16_t split = 0;
            if (!first)
                split |= LHD_SPLIT_BEFORE;
            if (!last)
                split |= LHD_SPLIT_AFTER;
            const std::string chunk = e.data.substr(done, part);
            // A part that continues holds the checksum of its own bytes; the
            // last part holds the checksum of the whole file.
            const uint32_t crc = last ? Crc32(e.data) : Crc32(chunk);
            current += sealer.Seal(FileHeader(e, split, uint32_t(part), crc));
            current += chunk;
            done += part;
            room -= part;
            first = false;
        } while (done < e.data.size());
    }
    volumes.push_back(current + sealer.Seal(EndHeader(0)));
    return volumes;
}

std::string OldStyleVolumeName(const std::string& firstVolumePath, size_t index)
{
    if (index == 0)
        return firstVolumePath;
    std::string base = firstVolumePath;
    if (base.size() >= 4 && base.compare(base.size() - 4, 4, ".rar") == 0)
        base.resize(base.size() - 4);
    const size_t n = index - 1;
    std::string ext = ".r";
    ext.push_back(char('0' + n / 10 % 10));
    ext.push_back(char('0' + n % 10));
    return base + ext;
}

std::string NewStyleVolumeName(const std::string& archivePath, size_t index)
{
    std::string base = archivePath;
    if (base.size() >= 4 && base.compare(base.size() - 4, 4, ".rar") == 0)
        base.resize(base.size() - 4);
    return base + ".part" + std::to_string(index + 1) + ".rar";
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(f);
}

}  // namespace rar4
