#include "remote/Address.h"

#include "remote/LocalAddress.h"

#include <cctype>
#include <cstdio>

namespace {

constexpr const char* SchemeSeparator = "://";

bool isHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

// Where the credentials could stand: from after "://" to the first "/", "?" or "#".
struct Authority {
    std::size_t begin = std::string::npos;
    std::size_t end = std::string::npos;
    std::size_t at = std::string::npos; // the "@" that ends the credentials
};

Authority findAuthority(const std::string& text) {
    Authority authority;
    auto separator = text.find(SchemeSeparator);
    if (separator == std::string::npos)
        return authority;
    authority.begin = separator + 3;
    authority.end = text.find_first_of("/?#", authority.begin);
    if (authority.end == std::string::npos)
        authority.end = text.size();
    auto at = text.rfind('@', authority.end == 0 ? 0 : authority.end - 1);
    if (at != std::string::npos && at >= authority.begin && at < authority.end)
        authority.at = at;
    return authority;
}

} // namespace

std::string percentEncode(std::string_view text, std::string_view alsoEncoded, bool nonAsciiToo) {
    std::string out;
    for (unsigned char c : text) {
        if (c <= 0x20 || c == 0x7f || (c > 0x7f && nonAsciiToo) ||
            alsoEncoded.find(static_cast<char>(c)) != std::string_view::npos) {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string encodeCredential(const std::string& text) {
    return percentEncode(text, ":@/?#%", true);
}

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

void normalizeAddress(String& address) {
    if (std::optional<std::string> local = localFileAddress(address.str())) {
        address = local->c_str();
        return;
    }
    if (address.find(SchemeSeparator) < 0) {
        String withScheme("http://");
        withScheme.append(address);
        address = withScheme;
        return;
    }
    String scheme = address.field(SchemeSeparator, 1);
    if (!scheme.equalsNoCase("http") && !scheme.equalsNoCase("https") &&
        !scheme.equalsNoCase("ftp") && !scheme.equalsNoCase("file"))
        address.replaceField("http", SchemeSeparator, 1);
}

void splitCredentials(String& address, String& user, String& password) {
    user = "";
    password = "";
    std::string text = address.str();
    Authority authority = findAuthority(text);
    if (authority.at == std::string::npos)
        return;
    std::string credentials = text.substr(authority.begin, authority.at - authority.begin);
    auto colon = credentials.find(':');
    user = percentDecode(credentials.substr(0, colon)).c_str();
    if (colon != std::string::npos)
        password = percentDecode(credentials.substr(colon + 1)).c_str();
    address = (text.substr(0, authority.begin) + text.substr(authority.at + 1)).c_str();
}

void insertCredentials(String& address, const String& user, const String& password) {
    std::string text = address.str();
    Authority authority = findAuthority(text);
    if (authority.begin == std::string::npos || authority.at != std::string::npos)
        return;
    std::string credentials =
        encodeCredential(user.str()) + ":" + encodeCredential(password.str()) + "@";
    address.insertAfter(static_cast<int32_t>(authority.begin) - 1, credentials.c_str());
}

String serverPart(const String& address) {
    String copy(address);
    String user;
    String password;
    splitCredentials(copy, user, password);
    String result = copy.field(SchemeSeparator, 1);
    result.append(SchemeSeparator);
    result.append(copy.field("/", 3));
    return result;
}

String pathPart(const String& address) {
    return address.right(address.length() - serverPart(address).length());
}

std::string fileNameFromUrl(std::string_view url) {
    url = url.substr(0, url.find('#'));
    url = url.substr(0, url.find('?'));
    auto separator = url.find(SchemeSeparator);
    std::string_view rest = separator == std::string_view::npos ? url : url.substr(separator + 3);
    auto pathStart = rest.find('/');
    if (pathStart == std::string_view::npos)
        return {};
    std::string name = percentDecode(rest.substr(rest.rfind('/') + 1));
    for (char& c : name) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    return name;
}
