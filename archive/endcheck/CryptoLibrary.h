#pragma once

#include <openssl/evp.h>

namespace endcheck {

// The libcrypto calls that reading encrypted headers makes. The library is
// opened at the first archive whose headers are encrypted, not at start-up:
// mapped by every run, it cost each one more than a megabyte of memory and
// part of a millisecond, for archives that seldom need it.
struct TCryptoLibrary {
    decltype(&::EVP_CIPHER_CTX_new) EVP_CIPHER_CTX_new;
    decltype(&::EVP_CIPHER_CTX_free) EVP_CIPHER_CTX_free;
    decltype(&::EVP_CIPHER_CTX_set_padding) EVP_CIPHER_CTX_set_padding;
    decltype(&::EVP_DecryptInit_ex) EVP_DecryptInit_ex;
    decltype(&::EVP_DecryptUpdate) EVP_DecryptUpdate;
    decltype(&::EVP_aes_128_cbc) EVP_aes_128_cbc;
    decltype(&::EVP_aes_256_cbc) EVP_aes_256_cbc;
    decltype(&::EVP_sha1) EVP_sha1;
    decltype(&::EVP_sha256) EVP_sha256;
    decltype(&::EVP_Digest) EVP_Digest;
    decltype(&::EVP_MD_CTX_new) EVP_MD_CTX_new;
    decltype(&::EVP_MD_CTX_free) EVP_MD_CTX_free;
    decltype(&::EVP_MD_CTX_copy_ex) EVP_MD_CTX_copy_ex;
    decltype(&::EVP_DigestInit_ex) EVP_DigestInit_ex;
    decltype(&::EVP_DigestUpdate) EVP_DigestUpdate;
    decltype(&::EVP_DigestFinal_ex) EVP_DigestFinal_ex;
    decltype(&::PKCS5_PBKDF2_HMAC) PKCS5_PBKDF2_HMAC;
};

// The calls, opened once per process from any thread; null when libcrypto
// cannot be opened or lacks one of them, and the encrypted headers then
// cannot be read.
const TCryptoLibrary* CryptoLibrary();

}  // namespace endcheck
