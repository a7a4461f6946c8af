#include "archive/endcheck/CryptoLibrary.h"

#include <dlfcn.h>
#include <optional>

namespace endcheck {

namespace {

std::optional<TCryptoLibrary> Open()
{
    // Kept open for the rest of the process, as a linked library would be.
    void* handle = dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return std::nullopt;
    TCryptoLibrary c{};
    bool complete = true;
    const auto lookup = [&](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle, name));
        complete = complete && slot;
    };
    lookup(c.EVP_CIPHER_CTX_new, "EVP_CIPHER_CTX_new");
    lookup(c.EVP_CIPHER_CTX_free, "EVP_CIPHER_CTX_free");
    lookup(c.EVP_CIPHER_CTX_set_padding, "EVP_CIPHER_CTX_set_padding");
    lookup(c.EVP_DecryptInit_ex, "EVP_DecryptInit_ex");
    lookup(c.EVP_DecryptUpdate, "EVP_DecryptUpdate");
    lookup(c.EVP_aes_128_cbc, "EVP_aes_128_cbc");
    lookup(c.EVP_aes_256_cbc, "EVP_aes_256_cbc");
    lookup(c.EVP_sha1, "EVP_sha1");
    lookup(c.EVP_sha256, "EVP_sha256");
    lookup(c.EVP_Digest, "EVP_Digest");
    lookup(c.EVP_MD_CTX_new, "EVP_MD_CTX_new");
    lookup(c.EVP_MD_CTX_free, "EVP_MD_CTX_free");
    lookup(c.EVP_MD_CTX_copy_ex, "EVP_MD_CTX_copy_ex");
    lookup(c.EVP_DigestInit_ex, "EVP_DigestInit_ex");
    lookup(c.EVP_DigestUpdate, "EVP_DigestUpdate");
    lookup(c.EVP_DigestFinal_ex, "EVP_DigestFinal_ex");
    lookup(c.PKCS5_PBKDF2_HMAC, "PKCS5_PBKDF2_HMAC");
    if (!complete)
        return std::nullopt;
    return c;
}

}  // namespace

const TCryptoLibrary* CryptoLibrary()
{
    static const std::optional<TCryptoLibrary> library = Open();
    return library ? &*library : nullptr;
}

}  // namespace endcheck
