#include "archive/endcheck/ArchiveEnd.h"
#include "archive/endcheck/CryptoLibrary.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using endcheck::TCryptoLibrary;

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
constexpr uint64_t Rar5CryptHasCheck = 0x0001;
constexpr uint64_t Rar5CryptVersion = 0;
constexpr unsigned Rar5MaxKdfLog2 = 24;  // the library refuses more
constexpr size_t Rar5SaltSize = 16;
constexpr size_t Rar5IvSize = 16;
constexpr size_t Rar5CheckSize = 8;
constexpr size_t Rar5CheckSumSize = 4;

// RAR4 block types and flags.
constexpr uint8_t Rar4Main = 0x73;
constexpr uint8_t Rar4File = 0x74;
constexpr uint8_t Rar4Service = 0x7A;
constexpr uint8_t Rar4End = 0x7B;
constexpr uint8_t Rar4FirstKnownType = 0x73;  // main .. end: 0x73 to 0x7B
constexpr uint16_t Rar4LongBlock = 0x8000;
constexpr uint16_t Rar4Large = 0x0100;
constexpr uint16_t Rar4MainVolume = 0x0001;
constexpr uint16_t Rar4MainNewNumbering = 0x0010;
constexpr uint16_t Rar4MainPassword = 0x0080;
constexpr uint16_t Rar4EndNextVolume = 0x0001;
constexpr size_t Rar4SaltSize = 8;
constexpr size_t Rar4FileHeaderSize = 32;
constexpr uint32_t Rar4KdfRounds = 0x40000;
// Each encrypted RAR4 header names its own salt, and each new salt costs a
// key derivation; `rar` uses one per archive, a hostile file could use one
// per header.
constexpr size_t Rar4MaxSalts = 4;

constexpr size_t CryptBlockSize = 16;
// `rar` and the library keep only this many characters of a password.
constexpr size_t MaxPasswordCharacters = 127;

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

uint16_t Le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

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

size_t RoundUpToBlock(size_t n)
{
    return (n + CryptBlockSize - 1) & ~(CryptBlockSize - 1);
}

// AES-CBC decryption of whole blocks, each call from a fresh IV.
class TCbcDecryptor {
public:
    // `cipher` names one of `crypto`'s ciphers.
    TCbcDecryptor(const TCryptoLibrary& crypto, const EVP_CIPHER* cipher, const uint8_t* key)
        : c(&crypto), FCtx(crypto.EVP_CIPHER_CTX_new())
    {
        FReady = FCtx && c->EVP_DecryptInit_ex(FCtx, cipher, nullptr, key, nullptr) == 1 &&
                 c->EVP_CIPHER_CTX_set_padding(FCtx, 0) == 1;
    }
    ~TCbcDecryptor() { c->EVP_CIPHER_CTX_free(FCtx); }
    TCbcDecryptor(const TCbcDecryptor&) = delete;
    TCbcDecryptor& operator=(const TCbcDecryptor&) = delete;

    bool Ready() const { return FReady; }

    // `size` is a multiple of the block size; `out` may not overlap `in`.
    bool Decrypt(const uint8_t* iv, const uint8_t* in, uint8_t* out, size_t size)
    {
        int produced = 0;
        return FReady && c->EVP_DecryptInit_ex(FCtx, nullptr, nullptr, nullptr, iv) == 1 &&
               c->EVP_DecryptUpdate(FCtx, out, &produced, in, static_cast<int>(size)) == 1 &&
               static_cast<size_t>(produced) == size;
    }

private:
    const TCryptoLibrary* c;
    EVP_CIPHER_CTX* FCtx;
    bool FReady = false;
};

// The next code point of UTF-8 text; a byte that starts no valid sequence
// stands for itself.
uint32_t NextCodePoint(const std::string& text, size_t& i)
{
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t b = byte(i);
    size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (b >= 0xF8 || i + length > text.size())
        length = 1;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            length = 1;
    uint32_t cp = length == 1 ? b : b & (0x7F >> length);
    for (size_t k = 1; k < length; ++k)
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    i += length;
    return cp;
}

// ---- RAR5 -------------------------------------------------------------------

// Key and password check of an archive encryption header: PBKDF2-HMAC-SHA256
// gives the key after 2^log2 rounds and the check value 32 rounds later,
// folded to 8 bytes.
struct TRar5Crypt {
    std::array<uint8_t, 32> key{};
    bool checked = false;  // the header's check value matched the password
};

std::optional<TRar5Crypt> DeriveRar5(const std::string& password, const uint8_t* salt, unsigned log2,
                                     const uint8_t* check)
{
    const TCryptoLibrary* c = endcheck::CryptoLibrary();
    if (!c)
        return std::nullopt;
    const int rounds = 1 << log2;
    TRar5Crypt crypt;
    if (check) {
        std::array<uint8_t, 32> later{};
        if (c->PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt, Rar5SaltSize, rounds + 32,
                                 c->EVP_sha256(), later.size(), later.data()) != 1)
            return std::nullopt;
        std::array<uint8_t, Rar5CheckSize> folded{};
        for (size_t i = 0; i < later.size(); ++i)
            folded[i % folded.size()] ^= later[i];
        if (std::memcmp(folded.data(), check, folded.size()) != 0)
            return std::nullopt;
        crypt.checked = true;
    }
    if (c->PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt, Rar5SaltSize, rounds,
                             c->EVP_sha256(), crypt.key.size(), crypt.key.data()) != 1)
        return std::nullopt;
    return crypt;
}

enum class TStep { Next, Cut, CannotTell };

// What a step that does not go on says of the end.
TArchiveEnd EndOf(TStep step)
{
    return step == TStep::Cut ? TArchiveEnd::Cut : TArchiveEnd::CannotTell;
}

// Reads the archive encryption header's fields from `p` on: version, flags,
// KDF count, salt and the optional check value with its own checksum.
TStep ReadRar5CryptHeader(const std::vector<uint8_t>& header, size_t p, const std::string& password,
                          std::optional<TCbcDecryptor>& cipher, bool& confirmed)
{
    const TCryptoLibrary* c = endcheck::CryptoLibrary();
    if (!c)
        return TStep::CannotTell;
    const auto version = ReadVint(header.data(), header.size(), p);
    const auto flags = ReadVint(header.data(), header.size(), p);
    if (!version || !flags || p + 1 + Rar5SaltSize > header.size())
        return TStep::Cut;
    const unsigned log2 = header[p++];
    const uint8_t* salt = &header[p];
    p += Rar5SaltSize;
    if (*version != Rar5CryptVersion || log2 > Rar5MaxKdfLog2 || password.empty())
        return TStep::CannotTell;

    // A check value whose own checksum fails is ignored, as the library does.
    const uint8_t* check = nullptr;
    if ((*flags & Rar5CryptHasCheck) && p + Rar5CheckSize + Rar5CheckSumSize <= header.size()) {
        uint8_t digest[EVP_MAX_MD_SIZE];
        unsigned digestSize = 0;
        if (c->EVP_Digest(&header[p], Rar5CheckSize, digest, &digestSize, c->EVP_sha256(), nullptr) == 1 &&
            std::memcmp(digest, &header[p + Rar5CheckSize], Rar5CheckSumSize) == 0)
            check = &header[p];
    }
    const auto crypt = DeriveRar5(password, salt, log2, check);
    if (!crypt)
        return TStep::CannotTell;  // a wrong password
    cipher.emplace(*c, c->EVP_aes_256_cbc(), crypt->key.data());
    if (!cipher->Ready())
        return TStep::CannotTell;
    confirmed = crypt->checked;
    return TStep::Next;
}

// One RAR5 header: `header` gets the size field and the header proper (what
// the CRC covers), `length` the bytes it takes in the file. Encrypted, it is
// a 16-byte IV and the header padded to whole AES blocks.
TStep ReadRar5Header(TBlockReader& file, uint64_t pos, TCbcDecryptor* cipher, bool confirmed,
                     std::vector<uint8_t>& header, size_t& sizeLength, uint64_t& length)
{
    uint32_t crc = 0;
    if (!cipher) {
        uint8_t head[4 + 10];
        const size_t headRead =
            static_cast<size_t>(std::min<uint64_t>(sizeof head, file.Size() - std::min(pos, file.Size())));
        if (headRead < 5 || !file.Read(pos, head, headRead))
            return TStep::Cut;
        size_t at = 4;
        const auto headerSize = ReadVint(head, headRead, at);
        if (!headerSize || *headerSize == 0 || *headerSize > MaxRar5HeaderSize)
            return TStep::Cut;
        sizeLength = at - 4;
        header.resize(sizeLength + static_cast<size_t>(*headerSize));
        if (!file.Read(pos + 4, header.data(), header.size()))
            return TStep::Cut;
        crc = Le32(head);
        length = 4 + header.size();
    } else {
        // Before the password is known to be right, a header that makes no
        // sense is more likely a wrong key than a damaged file.
        const TStep broken = confirmed ? TStep::Cut : TStep::CannotTell;
        uint8_t iv[Rar5IvSize];
        uint8_t first[CryptBlockSize];
        uint8_t plain[CryptBlockSize];
        if (!file.Read(pos, iv, sizeof iv) || !file.Read(pos + sizeof iv, first, sizeof first))
            return TStep::Cut;
        if (!cipher->Decrypt(iv, first, plain, sizeof plain))
            return TStep::CannotTell;
        size_t at = 4;
        const auto headerSize = ReadVint(plain, sizeof plain, at);
        if (!headerSize || *headerSize == 0 || *headerSize > MaxRar5HeaderSize)
            return broken;
        sizeLength = at - 4;
        const size_t total = at + static_cast<size_t>(*headerSize);
        const size_t padded = RoundUpToBlock(total);
        std::vector<uint8_t> encrypted(padded);
        if (!file.Read(pos + sizeof iv, encrypted.data(), padded)) {
            size_t p = at;
            const auto type = ReadVint(plain, sizeof plain, p);
            const bool plausible = type && *type >= 1 && *type <= Rar5End;
            return confirmed || plausible ? TStep::Cut : TStep::CannotTell;
        }
        std::vector<uint8_t> decrypted(padded);
        if (!cipher->Decrypt(iv, encrypted.data(), decrypted.data(), padded))
            return TStep::CannotTell;
        crc = Le32(decrypted.data());
        header.assign(decrypted.begin() + 4, decrypted.begin() + static_cast<std::ptrdiff_t>(total));
        length = sizeof iv + padded;
    }
    if (Crc32(header.data(), header.size()) != crc)
        return cipher && !confirmed ? TStep::CannotTell : TStep::Cut;
    return TStep::Next;
}

// RAR5: every block is a CRC32, a vint header size, the header (type, flags,
// optional extra and data sizes) and its data area; the last one is type 5.
// After an archive encryption header (type 4) every header is encrypted.
TArchiveEnd WalkRar5(TBlockReader& file, uint64_t pos, const std::string& password)
{
    std::optional<TCbcDecryptor> cipher;
    bool confirmed = false;  // a header decrypted whole, or the check value matched
    std::vector<uint8_t> header;
    for (;;) {
        size_t sizeLength = 0;
        uint64_t length = 0;
        if (const TStep step = ReadRar5Header(file, pos, cipher ? &*cipher : nullptr, confirmed, header, sizeLength,
                                              length);
            step != TStep::Next)
            return EndOf(step);
        if (cipher)
            confirmed = true;

        size_t p = sizeLength;
        const auto type = ReadVint(header.data(), header.size(), p);
        const auto flags = ReadVint(header.data(), header.size(), p);
        if (!type || !flags)
            return TArchiveEnd::Cut;
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
        if (*type == Rar5Encryption) {
            if (cipher)
                return TArchiveEnd::CannotTell;  // not a chain the library reads either
            if (const TStep step = ReadRar5CryptHeader(header, p, password, cipher, confirmed); step != TStep::Next)
                return EndOf(step);
        }
        if (*type == Rar5End) {
            const auto endFlags = ReadVint(header.data(), header.size(), p);
            if (!endFlags)
                return TArchiveEnd::Cut;
            return (*endFlags & Rar5EndNotLastVolume) ? TArchiveEnd::Cut : TArchiveEnd::Complete;
        }

        const uint64_t blockEnd = pos + length;
        if (blockEnd > file.Size() || dataSize > file.Size() - blockEnd)
            return TArchiveEnd::Cut;
        pos = blockEnd + dataSize;
    }
}

// ---- RAR 2.9-4.x ------------------------------------------------------------

// RAR 2.9's SHA-1 wrote its message schedule back over the caller's buffer
// for every whole 64-byte block it hashed straight from there (all but the
// one that filled its own buffer). The key scheme keeps that, so the
// password buffer changes for passwords of 29 characters and more.
void OverwriteAsRar29(std::vector<uint8_t>& data, uint64_t hashedBefore)
{
    const size_t filled = static_cast<size_t>(hashedBefore & 63);
    if (filled + data.size() < 64)
        return;
    const auto rotl1 = [](uint32_t v) { return (v << 1) | (v >> 31); };
    for (size_t i = 64 - filled; i + 64 <= data.size(); i += 64) {
        uint32_t w[80];
        for (size_t k = 0; k < 16; ++k) {
            const uint8_t* b = &data[i + 4 * k];
            w[k] = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
        }
        for (size_t k = 16; k < 80; ++k)
            w[k] = rotl1(w[k - 3] ^ w[k - 8] ^ w[k - 14] ^ w[k - 16]);
        for (size_t k = 0; k < 16; ++k)
            for (size_t byte = 0; byte < 4; ++byte)
                data[i + 4 * k + byte] = static_cast<uint8_t>(w[64 + k] >> (8 * byte));
    }
}

struct TRar4Key {
    std::array<uint8_t, Rar4SaltSize> salt{};
    std::array<uint8_t, 16> key{};
    std::array<uint8_t, 16> iv{};
};

// RAR 3.x's key: SHA-1 over 0x40000 rounds of the password (UTF-16LE, as
// the library forms it: each character's low 16 bits) with the salt and the
// round number's three low bytes; each 1/16 of the way one IV byte is taken
// from the digest so far. The key is the digest's first four words, each
// least significant byte first.
std::optional<TRar4Key> DeriveRar4(const std::string& password, const uint8_t* salt)
{
    const TCryptoLibrary* c = endcheck::CryptoLibrary();
    if (!c)
        return std::nullopt;
    std::vector<uint8_t> raw;
    for (size_t i = 0; i < password.size();) {
        const uint32_t cp = NextCodePoint(password, i);
        raw.push_back(static_cast<uint8_t>(cp));
        raw.push_back(static_cast<uint8_t>(cp >> 8));
    }
    raw.insert(raw.end(), salt, salt + Rar4SaltSize);

    TRar4Key out;
    std::memcpy(out.salt.data(), salt, Rar4SaltSize);
    EVP_MD_CTX* sha = c->EVP_MD_CTX_new();
    EVP_MD_CTX* snapshot = c->EVP_MD_CTX_new();
    bool ok = sha && snapshot && c->EVP_DigestInit_ex(sha, c->EVP_sha1(), nullptr) == 1;
    uint8_t digest[EVP_MAX_MD_SIZE];
    uint64_t hashed = 0;
    for (uint32_t round = 0; ok && round < Rar4KdfRounds; ++round) {
        ok = c->EVP_DigestUpdate(sha, raw.data(), raw.size()) == 1;
        OverwriteAsRar29(raw, hashed);
        hashed += raw.size();
        const uint8_t number[3] = {uint8_t(round), uint8_t(round >> 8), uint8_t(round >> 16)};
        ok = ok && c->EVP_DigestUpdate(sha, number, sizeof number) == 1;
        hashed += sizeof number;
        if (ok && round % (Rar4KdfRounds / 16) == 0) {
            ok = c->EVP_MD_CTX_copy_ex(snapshot, sha) == 1 && c->EVP_DigestFinal_ex(snapshot, digest, nullptr) == 1;
            out.iv[round / (Rar4KdfRounds / 16)] = digest[19];
        }
    }
    ok = ok && c->EVP_DigestFinal_ex(sha, digest, nullptr) == 1;
    c->EVP_MD_CTX_free(snapshot);
    c->EVP_MD_CTX_free(sha);
    if (!ok)
        return std::nullopt;
    for (size_t word = 0; word < 4; ++word)
        for (size_t byte = 0; byte < 4; ++byte)
            out.key[word * 4 + byte] = digest[word * 4 + 3 - byte];
    return out;
}

// The keys of one walk, by salt.
class TRar4Keys {
public:
    explicit TRar4Keys(const std::string& password) : FPassword(password) {}

    const TRar4Key* For(const uint8_t* salt)
    {
        for (const TRar4Key& k : FKeys)
            if (std::memcmp(k.salt.data(), salt, Rar4SaltSize) == 0)
                return &k;
        if (FKeys.size() == Rar4MaxSalts)
            return nullptr;
        auto key = DeriveRar4(FPassword, salt);
        if (!key)
            return nullptr;
        FKeys.push_back(*key);
        return &FKeys.back();
    }

private:
    std::string FPassword;
    std::vector<TRar4Key> FKeys;
};

// One RAR4 block header, whole, into `header` (from its CRC on); `length` is
// what it takes in the file. Encrypted, it is an 8-byte salt and the header
// padded to whole AES blocks.
TStep ReadRar4Header(TBlockReader& file, uint64_t pos, TRar4Keys* keys, bool& confirmed, std::vector<uint8_t>& header,
                     uint64_t& length)
{
    if (!keys) {
        uint8_t head[7];
        if (!file.Read(pos, head, sizeof head))
            return TStep::Cut;
        const uint16_t size = Le16(head + 5);
        if (size < sizeof head)
            return TStep::Cut;
        header.resize(size);
        if (!file.Read(pos, header.data(), size))
            return TStep::Cut;
        length = size;
        return TStep::Next;
    }

    const TStep broken = confirmed ? TStep::Cut : TStep::CannotTell;
    uint8_t salt[Rar4SaltSize];
    uint8_t first[CryptBlockSize];
    if (!file.Read(pos, salt, sizeof salt) || !file.Read(pos + sizeof salt, first, sizeof first))
        return TStep::Cut;
    const TRar4Key* key = keys->For(salt);
    const TCryptoLibrary* c = endcheck::CryptoLibrary();
    if (!key || !c)
        return TStep::CannotTell;
    TCbcDecryptor cipher(*c, c->EVP_aes_128_cbc(), key->key.data());
    uint8_t plain[CryptBlockSize];
    if (!cipher.Decrypt(key->iv.data(), first, plain, sizeof plain))
        return TStep::CannotTell;
    const uint8_t type = plain[2];
    const uint16_t size = Le16(plain + 5);
    if (size < 7)
        return broken;
    const size_t padded = RoundUpToBlock(size);
    std::vector<uint8_t> encrypted(padded);
    if (!file.Read(pos + sizeof salt, encrypted.data(), padded)) {
        const bool plausible = type >= Rar4FirstKnownType && type <= Rar4End &&
                               (type != Rar4File || size >= Rar4FileHeaderSize);
        return confirmed || plausible ? TStep::Cut : TStep::CannotTell;
    }
    header.resize(padded);
    if (!cipher.Decrypt(key->iv.data(), encrypted.data(), header.data(), padded))
        return TStep::CannotTell;
    header.resize(size);
    if ((Crc32(header.data() + 2, size - 2) & 0xFFFF) != Le16(header.data()))
        return broken;
    confirmed = true;
    length = sizeof salt + padded;
    return TStep::Next;
}

// RAR 1.5-4.x: blocks of CRC16, type, flags, size, and for long blocks a
// 32-bit data size (the packed size of file and service blocks, with its
// high half further on when the large flag is set). With the main header's
// password flag every later header is encrypted.
TArchiveEnd WalkRar4(TBlockReader& file, uint64_t pos, const std::string& password)
{
    std::optional<TRar4Keys> keys;
    bool confirmed = false;  // a header decrypted with a matching CRC
    bool newNumberingVolume = false;
    std::vector<uint8_t> header;
    for (;;) {
        // Archives written with end blocks switched off stop on a block
        // boundary: that cannot be told from a cut there. Volumes always
        // end in one, and new numbering (name.partN.rar) is no older than
        // the writers that always wrote them.
        if (pos == file.Size())
            return newNumberingVolume ? TArchiveEnd::Cut : TArchiveEnd::CannotTell;
        uint64_t length = 0;
        if (const TStep step = ReadRar4Header(file, pos, keys ? &*keys : nullptr, confirmed, header, length);
            step != TStep::Next)
            return EndOf(step);
        const uint8_t type = header[2];
        const uint16_t flags = Le16(header.data() + 3);
        const size_t size = header.size();

        if (type == Rar4Main) {
            newNumberingVolume = (flags & Rar4MainVolume) && (flags & Rar4MainNewNumbering);
            if ((flags & Rar4MainPassword) && !keys) {
                if (password.empty())
                    return TArchiveEnd::CannotTell;
                keys.emplace(password);
            }
        }
        if (type == Rar4End)
            return (flags & Rar4EndNextVolume) ? TArchiveEnd::Cut : TArchiveEnd::Complete;

        uint64_t dataSize = 0;
        if (flags & Rar4LongBlock) {
            if (size < 11)
                return TArchiveEnd::Cut;
            dataSize = Le32(header.data() + 7);
            if ((type == Rar4File || type == Rar4Service) && (flags & Rar4Large)) {
                if (size < 36)
                    return TArchiveEnd::Cut;
                dataSize |= static_cast<uint64_t>(Le32(header.data() + 32)) << 32;
            }
        }
        const uint64_t blockEnd = pos + length;
        if (blockEnd > file.Size() || dataSize > file.Size() - blockEnd)
            return TArchiveEnd::Cut;
        pos = blockEnd + dataSize;
    }
}

}  // namespace

TArchiveEnd CheckArchiveEnd(const std::string& path)
{
    return CheckArchiveEnd(path, std::string());
}

TArchiveEnd CheckArchiveEnd(const std::string& path, const std::string& fullPassword)
{
    std::string password = fullPassword;
    size_t end = 0;
    for (size_t n = 0; n < MaxPasswordCharacters && end < password.size(); ++n)
        NextCodePoint(password, end);
    password.resize(end);

    TBlockReader file(path);
    if (!file.Usable())
        return TArchiveEnd::CannotTell;
    uint64_t start = 0;
    switch (FindSignature(file, start)) {
    case TFormat::Rar5:
        return WalkRar5(file, start, password);
    case TFormat::Rar4:
        return WalkRar4(file, start, password);
    case TFormat::None:
        break;
    }
    return TArchiveEnd::CannotTell;
}

TArchiveEnd CheckArchiveEnd(const std::string& path, const std::string& password, std::optional<TKnownEnd>& known)
{
    std::optional<TFileState> now = TFileState::Of(path);
    if (!now) {
        known.reset();
        return CheckArchiveEnd(path, password);
    }
    if (known && known->file == *now && known->password == password)
        return known->end;
    // Taken before the walk: a change made meanwhile shows at the next check.
    known = TKnownEnd{std::move(*now), password};
    known->end = CheckArchiveEnd(path, password);
    return known->end;
}
