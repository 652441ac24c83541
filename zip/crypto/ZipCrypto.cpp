// The traditional PKWARE stream cipher: three 32-bit keys stirred by the password, then by
// each plain byte. A 12-byte header precedes the data; its last byte, decrypted, must equal
// the check byte (the CRC's high byte, or the time's with a data descriptor). One wrong
// password in 256 passes that check; the CRC catches it later.
#include "zip/crypto/Decryptor.h"

#include <zlib.h>

namespace zipcrypto {
namespace {

class ZipCryptoDecryptor : public Decryptor {
public:
    explicit ZipCryptoDecryptor(const std::string& password) : crcTable_(get_crc_table()) {
        for (const char c : password)
            update(static_cast<unsigned char>(c));
    }
    ~ZipCryptoDecryptor() override { keys_[0] = keys_[1] = keys_[2] = 0; }
    ZipCryptoDecryptor(const ZipCryptoDecryptor&) = delete;
    ZipCryptoDecryptor& operator=(const ZipCryptoDecryptor&) = delete;

    void decrypt(unsigned char* data, std::size_t n) override {
        for (std::size_t i = 0; i < n; ++i) {
            const uint32_t t = (keys_[2] | 2) & 0xFFFF;
            data[i] ^= static_cast<unsigned char>((t * (t ^ 1)) >> 8);
            update(data[i]);
        }
    }

private:
    uint32_t crcStep(uint32_t crc, unsigned char b) const {
        return crcTable_[(crc ^ b) & 0xFF] ^ (crc >> 8);
    }
    void update(unsigned char plain) {
        keys_[0] = crcStep(keys_[0], plain);
        keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
        keys_[2] = crcStep(keys_[2], static_cast<unsigned char>(keys_[1] >> 24));
    }

    const z_crc_t* crcTable_;
    uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

} // namespace

std::unique_ptr<Decryptor> openZipCrypto(const std::string& password, const unsigned char* header,
                                         unsigned char checkByte) {
    auto decryptor = std::make_unique<ZipCryptoDecryptor>(password);
    unsigned char copy[12];
    for (int i = 0; i < 12; ++i)
        copy[i] = header[i];
    decryptor->decrypt(copy, sizeof copy);
    if (copy[11] != checkByte)
        return nullptr;
    return decryptor;
}

} // namespace zipcrypto
