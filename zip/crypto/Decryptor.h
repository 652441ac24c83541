// Removing an entry's encryption: the kinds the engine reads, how an entry says which it
// uses, and the decryptors that sit between the archive's bytes and the decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CZipFileHeader;

namespace zipcrypto {

enum class Kind {
    none,
    zipCrypto,  // the traditional PKWARE stream cipher
    aes,        // WinZip AES (method 99 with a 0x9901 field)
    unsupported // strong encryption, or an AES field the engine cannot read
};

struct Encryption {
    Kind kind = Kind::none;
    // The compression under the encryption (the 0x9901 field's for AES).
    uint16_t method = 0;
    int aesVersion = 0;  // 1: AE-1 (CRC kept), 2: AE-2 (CRC 0, not checked)
    int aesKeyBits = 0;  // 128, 192 or 256
    std::string problem; // why the kind is unsupported
    // Bytes before the data (ZipCrypto's header, AES salt and verifier) and after it (AES
    // authentication code).
    std::size_t headerSize() const;
    std::size_t trailerSize() const { return kind == Kind::aes ? 10 : 0; }
};

// What the entry's flags, method and extra field say about its encryption. Method 99 is
// always taken as AES, whatever flag bit 0 says.
Encryption encryptionOf(const CZipFileHeader& header);
// "ZipCrypto", "AES-256"; "" for none.
std::string encryptionName(const Encryption& e);
// Whether the entry's CRC-32 is to be checked (AE-2 stores 0 and relies on its
// authentication code instead).
bool crcIsChecked(const CZipFileHeader& header);

class Decryptor {
public:
    virtual ~Decryptor() = default;
    // Decrypts `n` bytes of the entry's data in place, in order.
    virtual void decrypt(unsigned char* data, std::size_t n) = 0;
    // After all the data: whether the trailer (trailerSize bytes) authenticates it.
    virtual bool authenticate(const unsigned char* trailer, std::size_t n) {
        return n == 0 && trailer != nullptr;
    }
};

// A decryptor for the entry when `password` opens it, null when the password is wrong.
// `header` holds the headerSize() bytes that precede the data. `checkByte` is what
// ZipCrypto's last header byte must decrypt to.
std::unique_ptr<Decryptor> openZipCrypto(const std::string& password, const unsigned char* header,
                                         unsigned char checkByte);
std::unique_ptr<Decryptor> openAes(const std::string& password, const unsigned char* header,
                                   int keyBits);

// Overwrites a secret before its memory is released.
void wipe(std::string& secret);

} // namespace zipcrypto
