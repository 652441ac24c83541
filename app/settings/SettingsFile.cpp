#include "app/settings/SettingsFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QThread>

#include <cstdio>
#include <strings.h>

namespace {

// How long a writer waits for the other process's write to finish. A write takes
// milliseconds; a lock older than the stale time belongs to a crashed process.
constexpr int LockWaitMs = 10000;
constexpr int StaleLockMs = 30000;

// QLockFile's own waiting doubles its pause up to seconds, so a writer that waits behind a
// busy one can miss every free moment. Writes are short: ask again every few milliseconds.
bool acquire(QLockFile& lock) {
    QElapsedTimer waited;
    waited.start();
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError || waited.elapsed() > LockWaitMs) {
            return false;
        }
        QThread::msleep(2);
    }
    return true;
}

// Bytes that would break the line structure are written as %XX; "\" stays as it is so that
// key paths read as they are written.
bool needsEscape(unsigned char c) {
    return c < 0x20 || c == 0x7f || c == '%' || c == '=' || c == '[' || c == ']' || c == ';';
}

std::string escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (needsEscape(c)) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string hexBytes(const std::string& data) {
    std::string out;
    for (unsigned char c : data) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%s%02x", out.empty() ? "" : ",", c);
        out += hex;
    }
    return out;
}

bool parseHexBytes(const std::string& text, std::string& data) {
    data.clear();
    for (size_t i = 0; i < text.size(); i += 3) {
        if (i + 1 >= text.size() || hexDigit(text[i]) < 0 || hexDigit(text[i + 1]) < 0 ||
            (i + 2 < text.size() && text[i + 2] != ',')) {
            return false;
        }
        data += static_cast<char>(hexDigit(text[i]) * 16 + hexDigit(text[i + 1]));
    }
    return true;
}

std::string encodeValue(const RegistryValue& value) {
    if (value.type == REG_SZ) {
        return "sz:" + escape(value.data);
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i) { // stored little-endian, as the registry does
            number = (number << 8) | static_cast<unsigned char>(value.data[i]);
        }
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", number);
        return text;
    }
    if (value.type == REG_BINARY) {
        return "hex:" + hexBytes(value.data);
    }
    return "hex(" + std::to_string(value.type) + "):" + hexBytes(value.data);
}

bool decodeDword(const std::string& text, std::string& data) {
    if (text.size() != 8) {
        return false;
    }
    uint32_t number = 0;
    for (char c : text) {
        if (hexDigit(c) < 0) {
            return false;
        }
        number = number * 16 + static_cast<uint32_t>(hexDigit(c));
    }
    data.clear();
    for (int i = 0; i < 4; ++i) {
        data += static_cast<char>((number >> (8 * i)) & 0xff);
    }
    return true;
}

bool decodeValue(const std::string& text, RegistryValue& value) {
    if (text.rfind("sz:", 0) == 0) {
        value = {REG_SZ, unescape(text.substr(3))};
        return true;
    }
    if (text.rfind("dword:", 0) == 0) {
        value.type = REG_DWORD;
        return decodeDword(text.substr(6), value.data);
    }
    if (text.rfind("hex:", 0) == 0) {
        value.type = REG_BINARY;
        return parseHexBytes(text.substr(4), value.data);
    }
    const size_t close = text.find("):");
    if (text.rfind("hex(", 0) == 0 && close != std::string::npos && close > 4 && close < 15) {
        const std::string number = text.substr(4, close - 4);
        if (number.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        value.type = static_cast<uint32_t>(std::stoul(number));
        return parseHexBytes(text.substr(close + 2), value.data);
    }
    return false;
}

void parseLine(const std::string& line, RegistryKeys& keys, RegistryValues*& current) {
    if (line.empty() || line[0] == ';') {
        return;
    }
    if (line[0] == '[') {
        if (line.back() != ']') {
            current = nullptr; // a damaged header: its values are not guessed at
            return;
        }
        current = &keys[unescape(line.substr(1, line.size() - 2))];
        return;
    }
    const size_t equals = line.find('=');
    RegistryValue value;
    if (current && equals != std::string::npos && decodeValue(line.substr(equals + 1), value)) {
        (*current)[unescape(line.substr(0, equals))] = value;
    }
}

} // namespace

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

std::string SettingsFile::serialize(const RegistryKeys& keys) {
    std::string text = "; Marrowglen settings. Written by the program; keep the format.\n";
    for (const auto& [keyPath, values] : keys) {
        text += "\n[" + escape(keyPath) + "]\n";
        for (const auto& [name, value] : values) {
            text += escape(name) + "=" + encodeValue(value) + "\n";
        }
    }
    return text;
}

RegistryKeys SettingsFile::parse(const std::string& text) {
    RegistryKeys keys;
    RegistryValues* current = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        parseLine(line, keys, current);
        start = end + 1;
    }
    return keys;
}

bool SettingsFile::load(RegistryKeys& keys) const {
    keys.clear();
    QFile file(QString::fromStdString(path_));
    if (!file.exists()) {
        return true;
    }
    if (file.size() > MaxFileBytes || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.read(MaxFileBytes + 1);
    if (bytes.size() > MaxFileBytes) {
        return false;
    }
    keys = parse(bytes.toStdString());
    return true;
}

bool SettingsFile::update(const std::function<bool(RegistryKeys&)>& change) const {
    const QString path = QString::fromStdString(path_);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QLockFile lock(path + ".lock");
    lock.setStaleLockTime(StaleLockMs);
    if (!acquire(lock)) {
        return false;
    }
    RegistryKeys keys;
    if (!load(keys)) {
        return false; // never overwrite a file we could not read
    }
    if (!change(keys)) {
        return true;
    }
    QSaveFile out(path);
    const std::string text = serialize(keys);
    if (!out.open(QIODevice::WriteOnly)) {
        return false;
    }
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (out.write(text.data(), static_cast<qint64>(text.size())) !=
        static_cast<qint64>(text.size())) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}
