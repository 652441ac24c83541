// How an entry announces its encryption. The AES field (0x9901) is read here from the
// header's raw extra bytes: vendor version (2), vendor "AE" (2), strength (1), method (2).
#include "zip/crypto/Decryptor.h"

#include "zip/ZipFileHeader.h"

#include <openssl/crypto.h>

namespace zipcrypto {
namespace {

constexpr uint16_t aesFieldId = 0x9901;
constexpr uint16_t flagStrongEncryption = 0x0040;
constexpr uint16_t methodAes = 99;

uint16_t le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The data of the first field `id` in the extra bytes; false when absent or cut short.
bool findField(const CZipAutoBuffer& extra, uint16_t id, const unsigned char*& data,
               uint16_t& size) {
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
    const std::size_t end = extra.size();
    for (std::size_t at = 0; at + 4 <= end;) {
        const uint16_t fieldId = le16(p + at);
        const uint16_t fieldSize = le16(p + at + 2);
        if (at + 4 + fieldSize > end)
            return false;
        if (fieldId == id) {
            data = p + at + 4;
            size = fieldSize;
            return true;
        }
        at += 4 + fieldSize;
    }
    return false;
}

Encryption unsupported(std::string problem) {
    Encryption e;
    e.kind = Kind::unsupported;
    e.problem = std::move(problem);
    return e;
}

Encryption aesOf(const CZipFileHeader& header) {
    const unsigned char* data = nullptr;
    uint16_t size = 0;
    if (!findField(header.extraField, aesFieldId, data, size))
        return unsupported("the AES-encrypted entry has no AES extra field (0x9901)");
    if (size < 7 || data[2] != 'A' || data[3] != 'E')
        return unsupported("the entry's AES extra field (0x9901) is not understood");
    Encryption e;
    e.kind = Kind::aes;
    e.aesVersion = le16(data);
    e.method = le16(data + 5);
    const int strength = data[4];
    if ((e.aesVersion != 1 && e.aesVersion != 2) || strength < 1 || strength > 3)
        return unsupported("the entry's AES version or strength is not understood");
    e.aesKeyBits = 64 + 64 * strength;
    return e;
}

} // namespace

std::size_t Encryption::headerSize() const {
    if (kind == Kind::zipCrypto)
        return 12;
    if (kind == Kind::aes)
        return static_cast<std::size_t>(aesKeyBits / 16) + 2; // salt, then the verifier
    return 0;
}

Encryption encryptionOf(const CZipFileHeader& header) {
    if (header.method == methodAes)
        return aesOf(header);
    Encryption e;
    e.method = header.method;
    if (!header.isEncrypted())
        return e;
    if ((header.flags & flagStrongEncryption) != 0)
        return unsupported("strong encryption is not supported");
    e.kind = Kind::zipCrypto;
    return e;
}

std::string encryptionName(const Encryption& e) {
    switch (e.kind) {
    case Kind::none:
        return {};
    case Kind::zipCrypto:
        return "ZipCrypto";
    case Kind::aes:
        return "AES-" + std::to_string(e.aesKeyBits);
    case Kind::unsupported:
        break;
    }
    return "encrypted";
}

bool crcIsChecked(const CZipFileHeader& header) {
    const Encryption e = encryptionOf(header);
    return !(e.kind == Kind::aes && e.aesVersion == 2);
}

void wipe(std::string& secret) {
    if (!secret.empty())
        OPENSSL_cleanse(secret.data(), secret.size());
    secret.clear();
}

} // namespace zipcrypto
