// The state of the entry open for reading (internal to the engine): the pending input, the
// decryptor and decoder it passes through, and the running counts.
#pragma once

#include "zip/ZipArchive.h"
#include "zip/ZipAutoBuffer.h"
#include "zip/codec/Decoder.h"
#include "zip/crypto/Decryptor.h"

#include <memory>

struct CZipArchive::EntryState {
    CZipFileHeader* header = nullptr;
    zipcrypto::Encryption encryption;
    std::unique_ptr<zipcrypto::Decryptor> decryptor;
    std::unique_ptr<zipcodec::Decoder> decoder;
    CZipAutoBuffer input;
    // Input read and decrypted but not yet decoded.
    const unsigned char* pending = nullptr;
    uint32_t pendingSize = 0;
    bool ended = false;
    // compressedLeft counts the data alone: an encryption header and trailer are not in it.
    uint64_t compressedLeft = 0;
    uint64_t uncompressedLeft = 0;
    uint32_t runningCrc = 0;
};
