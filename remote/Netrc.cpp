#include "remote/Netrc.h"

#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

// A netrc larger than this is not one.
constexpr std::streamsize MaxNetrcBytes = 1 << 20;

// Words separated by blanks; "..." keeps blanks, \" and \\ escape inside quotes.
std::vector<std::string> tokensOf(const std::string& text) {
    std::vector<std::string> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++i;
            continue;
        }
        std::string token;
        if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size())
                    ++i;
                token += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\n' &&
                   text[i] != '\r')
                token += text[i++];
        }
        tokens.push_back(token);
        // A macro's body runs from the line after "macdef NAME" to the next empty line.
        if (tokens.size() >= 2 && tokens[tokens.size() - 2] == "macdef") {
            const std::size_t body = text.find('\n', i);
            const std::size_t end = body == std::string::npos ? body : text.find("\n\n", body);
            i = end == std::string::npos ? text.size() : end + 2;
        }
    }
    return tokens;
}

} // namespace

std::optional<NetrcLogin> findNetrcLogin(const std::string& text, const std::string& host,
                                         const std::string& user) {
    const std::vector<std::string> tokens = tokensOf(text);
    std::optional<NetrcLogin> fallback;
    for (std::size_t i = 0; i < tokens.size();) {
        const bool isDefault = tokens[i] == "default";
        if (tokens[i] != "machine" && !isDefault) {
            ++i;
            continue;
        }
        const std::string machine = isDefault || i + 1 >= tokens.size() ? "" : tokens[i + 1];
        i += isDefault ? 1 : 2;
        NetrcLogin entry;
        for (; i + 1 < tokens.size() && tokens[i] != "machine" && tokens[i] != "default"; i += 2) {
            if (tokens[i] == "login")
                entry.login = tokens[i + 1];
            else if (tokens[i] == "password")
                entry.password = tokens[i + 1];
        }
        if (!user.empty() && entry.login != user)
            continue;
        if (!isDefault && machine == host)
            return entry;
        if (isDefault && !fallback)
            fallback = entry;
    }
    return fallback;
}

std::optional<NetrcLogin> netrcLoginFor(const std::string& host, const std::string& user) {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        return std::nullopt;
    std::ifstream file(std::string(home) + "/.netrc", std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(MaxNetrcBytes), '\0');
    file.read(text.data(), MaxNetrcBytes);
    text.resize(static_cast<std::size_t>(file.gcount()));
    return findNetrcLogin(text, host, user);
}
