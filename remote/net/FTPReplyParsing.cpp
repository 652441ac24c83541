#include "remote/net/FTPReplyParsing.h"

namespace nsFTP {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads a decimal number of at most `maximum` at `pos`, which must be followed by `end`.
bool readNumber(const std::string& text, std::size_t& pos, char end, uint32_t maximum,
                uint32_t& value) {
    std::size_t start = pos;
    value = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
        if (value > maximum)
            return false;
        ++pos;
    }
    if (pos == start || pos >= text.size() || text[pos] != end)
        return false;
    ++pos;
    return true;
}

} // namespace

bool hasValidReplyCode(const std::string& text) {
    return text.size() >= 3 && text[0] >= '1' && text[0] <= '5' && text[1] >= '0' && text[1] <= '5';
}

int classifyReply(const ServerReply& reply) {
    switch (reply.firstDigit()) {
    case '2':
        return 0;
    case '4':
    case '5':
        return 1;
    default:
        return -1;
    }
}

bool opensMultiLineReply(const std::string& line) {
    return line.size() > 3 && line[3] == '-';
}

bool closesMultiLineReply(const std::string& line, const std::string& code) {
    return line.size() > 3 && line[3] == ' ' && line.compare(0, 3, code) == 0;
}

bool parsePassiveReply(const std::string& text, uint32_t& address, uint16_t& port) {
    std::size_t pos = text.find('(');
    if (pos == std::string::npos)
        return false;
    ++pos;
    uint32_t host = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        uint32_t part;
        if (!readNumber(text, pos, ',', 255, part))
            return false;
        host |= part << shift;
    }
    uint32_t high, low;
    if (!readNumber(text, pos, ',', 255, high) || !readNumber(text, pos, ')', 255, low))
        return false;
    address = host;
    port = static_cast<uint16_t>(high << 8 | low);
    return true;
}

std::string portCommandLine(const std::string& addressText, uint16_t port) {
    std::string line =
        "PORT " + addressText + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
    for (char& c : line)
        if (c == '.')
            c = ',';
    return line;
}

int64_t parseSizeReply(const std::string& text) {
    if (text.size() < 5)
        return 0;
    std::size_t pos = 4;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    int64_t size = 0;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) {
        size = size * 10 + (text[pos] - '0');
        if (size > (int64_t{1} << 53))
            return 0; // no archive is that large; refuse rather than overflow
    }
    return size;
}

std::string typeCommandLine(const TransferType& type, int byteSize) {
    static const char formats[] = {'N', 'T', 'C'};
    const char* format = nullptr;
    if (type.formatCode >= 0 && type.formatCode <= 2)
        format = &formats[type.formatCode];
    switch (type.typeCode) {
    case TransferType::Ascii:
        return format ? std::string("TYPE A ") + *format : std::string();
    case TransferType::Ebcdic:
        return format ? std::string("TYPE E ") + *format : std::string();
    case TransferType::Image:
        return "TYPE I";
    case TransferType::Local:
        return "TYPE L " + std::to_string(byteSize);
    default:
        return {};
    }
}

} // namespace nsFTP
