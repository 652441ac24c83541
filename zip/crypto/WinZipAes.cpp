// WinZip AES: keys from PBKDF2-HMAC-SHA1 (1,000 rounds) over the password and the entry's
// salt give the AES key, the HMAC key and a 2-byte password verifier. The data is AES in
// counter mode with a little-endian counter starting at 1, and a 10-byte HMAC-SHA1 of the
// encrypted data follows it.
#include "zip/crypto/Decryptor.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace zipcrypto {
namespace {

constexpr int iterations = 1000;
constexpr std::size_t blockSize = 16;
constexpr std::size_t authenticationSize = 10;
// Counter blocks encrypted at once: one cipher call per 4 KiB of data.
constexpr std::size_t batchBlocks = 256;

struct CipherFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
struct MacFree {
    void operator()(EVP_MAC* m) const { EVP_MAC_free(m); }
};
struct MacContextFree {
    void operator()(EVP_MAC_CTX* c) const { EVP_MAC_CTX_free(c); }
};

const EVP_CIPHER* cipherFor(int keyBits) {
    return keyBits == 128   ? EVP_aes_128_ecb()
           : keyBits == 192 ? EVP_aes_192_ecb()
                            : EVP_aes_256_ecb();
}

[[noreturn]] void cryptoFailed() {
    throw std::runtime_error("the decryption could not start");
}

class AesDecryptor : public Decryptor {
public:
    AesDecryptor(const unsigned char* key, const unsigned char* macKey, int keyBits)
        : cipher_(EVP_CIPHER_CTX_new()), stream_(batchBlocks * blockSize) {
        if (!cipher_ ||
            EVP_EncryptInit_ex(cipher_.get(), cipherFor(keyBits), nullptr, key, nullptr) != 1)
            cryptoFailed();
        EVP_CIPHER_CTX_set_padding(cipher_.get(), 0);
        std::unique_ptr<EVP_MAC, MacFree> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
        if (!mac)
            cryptoFailed();
        mac_.reset(EVP_MAC_CTX_new(mac.get()));
        char digest[] = "SHA1";
        const OSSL_PARAM params[] = {
            OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
            OSSL_PARAM_construct_end()};
        if (!mac_ ||
            EVP_MAC_init(mac_.get(), macKey, static_cast<std::size_t>(keyBits / 8), params) != 1)
            cryptoFailed();
    }
    ~AesDecryptor() override { OPENSSL_cleanse(stream_.data(), stream_.size()); }

    void decrypt(unsigned char* data, std::size_t n) override {
        if (EVP_MAC_update(mac_.get(), data, n) != 1)
            cryptoFailed();
        for (std::size_t i = 0; i < n; ++i) {
            if (used_ == stream_.size())
                nextKeyStream();
            data[i] ^= stream_[used_++];
        }
    }

    bool authenticate(const unsigned char* trailer, std::size_t n) override {
        unsigned char digest[EVP_MAX_MD_SIZE];
        std::size_t length = 0;
        if (n != authenticationSize ||
            EVP_MAC_final(mac_.get(), digest, &length, sizeof digest) != 1 ||
            length < authenticationSize)
            return false;
        return CRYPTO_memcmp(digest, trailer, authenticationSize) == 0;
    }

private:
    void nextKeyStream() {
        std::vector<unsigned char> counters(stream_.size(), 0);
        for (std::size_t b = 0; b < batchBlocks; ++b) {
            ++counter_;
            for (std::size_t i = 0; i < 8; ++i)
                counters[b * blockSize + i] = static_cast<unsigned char>(counter_ >> (8 * i));
        }
        int length = 0;
        if (EVP_EncryptUpdate(cipher_.get(), stream_.data(), &length, counters.data(),
                              static_cast<int>(counters.size())) != 1)
            cryptoFailed();
        used_ = 0;
    }

    std::unique_ptr<EVP_CIPHER_CTX, CipherFree> cipher_;
    std::unique_ptr<EVP_MAC_CTX, MacContextFree> mac_;
    std::vector<unsigned char> stream_;
    std::size_t used_ = batchBlocks * blockSize; // none left: the first byte makes a batch
    uint64_t counter_ = 0;
};

} // namespace

std::unique_ptr<Decryptor> openAes(const std::string& password, const unsigned char* header,
                                   int keyBits) {
    const std::size_t keySize = static_cast<std::size_t>(keyBits / 8);
    const std::size_t saltSize = keySize / 2;
    std::vector<unsigned char> derived(2 * keySize + 2);
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), header,
                               static_cast<int>(saltSize), iterations,
                               static_cast<int>(derived.size()), derived.data()) != 1)
        cryptoFailed();
    std::unique_ptr<Decryptor> result;
    if (std::memcmp(derived.data() + 2 * keySize, header + saltSize, 2) == 0)
        result = std::make_unique<AesDecryptor>(derived.data(), derived.data() + keySize, keyBits);
    OPENSSL_cleanse(derived.data(), derived.size());
    return result;
}

} // namespace zipcrypto
