#include "app/String.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>
#include <unistd.h>
#include <utility>

namespace {

char* allocateText(int32_t capacity) {
    char* buffer = new (std::nothrow) char[static_cast<size_t>(capacity)];
    if (buffer) {
        std::memset(buffer, 0, static_cast<size_t>(capacity));
    }
    return buffer;
}

// A copy of `text` (null: empty) in a fresh buffer of its exact size.
char* duplicateText(const char* text, int32_t& capacity) {
    const size_t size = text ? std::strlen(text) + 1 : 1;
    char* buffer = allocateText(static_cast<int32_t>(size));
    if (!buffer) {
        // A constructor has no other way to say that not even the text could be held.
        throw std::bad_alloc();
    }
    if (text) {
        std::memcpy(buffer, text, size);
    }
    capacity = static_cast<int32_t>(size);
    return buffer;
}

bool isEmptyText(const char* text) {
    return !text || text[0] == '\0';
}

const char* const DefaultTrimSet = "\r\n\t\v ";

} // namespace

String::String() : text_(duplicateText(nullptr, capacity_)) {}

String::String(const char* text) : text_(duplicateText(text, capacity_)) {}

String::String(const std::string& text) : text_(duplicateText(text.c_str(), capacity_)) {}

String::String(const String& other) : text_(duplicateText(other.text_, capacity_)) {}

String::String(String&& other) noexcept : text_(other.text_), capacity_(other.capacity_) {
    // The moved-from object must keep a valid empty text. Should even one byte be refused,
    // it borrows a shared empty text that it never frees (capacity 0) and never writes to.
    static char sharedEmptyText[1] = {'\0'};
    char* fresh = new (std::nothrow) char[1]{'\0'};
    other.text_ = fresh ? fresh : sharedEmptyText;
    other.capacity_ = fresh ? 1 : 0;
}

String& String::operator=(const String& other) {
    if (this != &other) {
        assign(other.text_);
    }
    return *this;
}

String& String::operator=(String&& other) noexcept {
    std::swap(text_, other.text_);
    std::swap(capacity_, other.capacity_);
    return *this;
}

String::~String() {
    if (capacity_ > 0) {
        delete[] text_;
    }
}

void String::assign(const char* text) {
    if (isEmptyText(text)) {
        if (text_[0] != '\0') {
            text_[0] = '\0';
        }
        return;
    }
    if (text >= text_ && text < text_ + capacity_) {
        // Assigning a piece of our own text: copy it out first.
        String copy(text);
        assign(copy.text_);
        return;
    }
    const int32_t needed = static_cast<int32_t>(std::strlen(text)) + 1;
    if (reserve(needed) < needed) {
        return;
    }
    std::memcpy(text_, text, static_cast<size_t>(needed));
}

void String::assign(const String& other) {
    if (this != &other) {
        assign(other.text_);
    }
}

int32_t String::length() const {
    return static_cast<int32_t>(std::strlen(text_));
}

void String::resizeBuffer(int32_t n) {
    if (n < 1) {
        n = 1;
    }
    const int32_t oldLength = length();
    if (n == oldLength + 1 && n == capacity_) {
        return;
    }
    char* buffer = allocateText(n);
    if (!buffer) {
        return;
    }
    const int32_t kept = oldLength < n - 1 ? oldLength : n - 1;
    std::memcpy(buffer, text_, static_cast<size_t>(kept));
    buffer[n - 1] = '\0';
    if (capacity_ > 0) {
        delete[] text_;
    }
    text_ = buffer;
    capacity_ = n;
}

int32_t String::reserve(int32_t n) {
    if (n <= capacity_) {
        return capacity_;
    }
    char* buffer = allocateText(n);
    if (!buffer) {
        return 0;
    }
    std::memcpy(buffer, text_, std::strlen(text_) + 1);
    if (capacity_ > 0) {
        delete[] text_;
    }
    text_ = buffer;
    capacity_ = n;
    return capacity_;
}

void String::shrinkToFit() {
    resizeBuffer(length() + 1);
}

const char* String::charPtrAt(int32_t i) const {
    const int32_t len = length();
    return (i >= 0 && i <= len) ? text_ + i : text_ + len;
}

bool String::equals(const char* other) const {
    return std::strcmp(text_, other ? other : "") == 0;
}

bool String::equalsNoCase(const char* other) const {
    // Only ASCII letters fold: UTF-8 lead and trail bytes are never changed.
    return strcasecmp(text_, other ? other : "") == 0;
}

int32_t String::toLower() {
    for (char* p = text_; *p; ++p) {
        *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    return length();
}

int32_t String::find(const char* sub) const {
    if (isEmptyText(sub)) {
        return -1;
    }
    const char* hit = std::strstr(text_, sub);
    return hit ? static_cast<int32_t>(hit - text_) : -1;
}

int32_t String::findLast(const char* sub) const {
    if (isEmptyText(sub)) {
        return -1;
    }
    const size_t subLength = std::strlen(sub);
    int32_t last = -1;
    for (const char* hit = std::strstr(text_, sub); hit; hit = std::strstr(hit + subLength, sub)) {
        last = static_cast<int32_t>(hit - text_);
    }
    return last;
}

int32_t String::count(const char* sub) const {
    if (isEmptyText(sub)) {
        return 0;
    }
    const size_t subLength = std::strlen(sub);
    int32_t found = 0;
    for (const char* hit = std::strstr(text_, sub); hit; hit = std::strstr(hit + subLength, sub)) {
        ++found;
    }
    return found;
}

String String::field(const char* sep, int32_t n) const {
    if (isEmpty()) {
        return String();
    }
    if (n < 1) {
        n = 1;
    }
    if (find(sep) < 0) {
        return n == 1 ? *this : String();
    }
    const size_t sepLength = std::strlen(sep);
    const char* start = text_;
    for (int32_t i = 1; i < n; ++i) {
        const char* hit = std::strstr(start, sep);
        if (!hit) {
            return String();
        }
        start = hit + sepLength;
    }
    const char* end = std::strstr(start, sep);
    return String(std::string(start, end ? static_cast<size_t>(end - start) : std::strlen(start)));
}

bool String::replaceField(const char* newText, const char* sep, int32_t n) {
    const int32_t fields = fieldCount(sep);
    if (n < 0 || n > fields + 1) {
        return false;
    }
    const std::string oldText(text_);
    const std::string separator(sep ? sep : "");
    const std::string replacement(newText ? newText : "");
    std::string result;
    if (n == 0) {
        result = replacement + separator + oldText;
    } else if (n == fields + 1 && n >= 2) {
        result = oldText + separator + replacement;
    } else {
        // Field n starts after the (n-1)th separator and ends at the next one or the end.
        size_t start = 0;
        for (int32_t i = 1; i < n; ++i) {
            start = oldText.find(separator, start) + separator.size();
        }
        // An empty separator never occurs: the only field is the whole text.
        const size_t end = separator.empty() ? std::string::npos : oldText.find(separator, start);
        result = oldText.substr(0, start) + replacement +
                 (end == std::string::npos ? std::string() : oldText.substr(end));
    }
    assign(result.c_str());
    return true;
}

String String::left(int32_t n) const {
    const int32_t len = length();
    if (n >= len) {
        return *this;
    }
    return String(std::string(text_, static_cast<size_t>(n > 0 ? n : 0)));
}

String String::right(int32_t n) const {
    const int32_t len = length();
    if (n >= len) {
        return *this;
    }
    return String(text_ + len - (n > 0 ? n : 0));
}

bool String::insertAfter(int32_t pos, const char* text) {
    const int32_t len = length();
    if (pos < 0 || pos >= len) {
        return false;
    }
    std::string result(text_);
    result.insert(static_cast<size_t>(pos) + 1, text ? text : "");
    assign(result.c_str());
    return true;
}

void String::append(const char* text) {
    if (isEmptyText(text)) {
        return;
    }
    const std::string joined = std::string(text_) + text;
    assign(joined.c_str());
}

String String::concat(const char* text) const {
    String result(*this);
    result.append(text);
    return result;
}

void String::trimLeft(const char* set) {
    const char* chars = set ? set : DefaultTrimSet;
    const size_t skip = std::strspn(text_, chars);
    if (skip > 0) {
        std::memmove(text_, text_ + skip, std::strlen(text_ + skip) + 1);
    }
}

void String::trimRight(const char* set) {
    const char* chars = set ? set : DefaultTrimSet;
    int32_t end = length();
    while (end > 0 && std::strchr(chars, text_[end - 1]) != nullptr) {
        --end;
    }
    // A text made only of bytes of the set stays as it is.
    if (end > 0) {
        text_[end] = '\0';
    }
}

bool String::cutAtLast(const char* sub) {
    const int32_t pos = findLast(sub);
    if (pos < 0) {
        return false;
    }
    text_[pos] = '\0';
    return true;
}

void String::addBackslash() {
    const int32_t len = length();
    if (len == 0 || text_[len - 1] != '/') {
        append("/");
    }
}

void String::makeProgramRelative() {
    char exePath[4096];
    const ssize_t n = readlink("/proc/self/exe", exePath, sizeof exePath - 1);
    String folder(".");
    if (n > 0) {
        exePath[n] = '\0';
        folder.assign(exePath);
        if (!folder.cutAtLast("/")) {
            folder.assign(".");
        } else if (folder.isEmpty()) {
            folder.assign("/"); // the executable sits in the root folder
        }
    }
    folder.addBackslash();
    folder.append(text_);
    assign(folder);
}

String String::fromInt(int32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", value);
    return String(digits);
}

int32_t String::toInt() const {
    // strtol rather than atoi: out-of-range texts clamp instead of being undefined.
    const long value = std::strtol(text_, nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}
