// The program's own owned, zero-terminated byte text, used for addresses, paths and names.
// Lengths and positions are in bytes. Texts are UTF-8 on Linux; searches never split a
// multibyte sequence because UTF-8 lead and trail bytes cannot be confused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class String {
public:
    String();
    String(const char* text); // NOLINT: implicit, as texts are passed freely
    String(const std::string& text);
    String(const String& other);
    String(String&& other) noexcept;
    String& operator=(const String& other);
    String& operator=(String&& other) noexcept;
    ~String();

    // Construction and storage
    void assign(const char* text); // null empties
    void assign(const String& other);
    const char* text() const { return text_; }
    char* text() { return text_; }
    int32_t length() const;
    void resizeBuffer(int32_t n);
    int32_t reserve(int32_t n); // capacity after the call; 0 when growing failed
    void shrinkToFit();
    const char* charPtrAt(int32_t i) const;
    int32_t capacity() const { return capacity_; }

    // Comparison and case
    bool equals(const char* other) const;
    bool equals(const String& other) const { return equals(other.text_); }
    bool differs(const char* other) const { return !equals(other); }
    bool differs(const String& other) const { return !equals(other); }
    bool equalsNoCase(const char* other) const;
    int32_t toLower();

    // Search
    int32_t find(const char* sub) const;
    int32_t findLast(const char* sub) const;
    int32_t count(const char* sub) const;
    int32_t fieldCount(const char* sep) const { return count(sep) + 1; }

    // Fields, numbered from 1
    String field(const char* sep, int32_t n) const;
    bool replaceField(const char* newText, const char* sep, int32_t n);

    // Pieces and edits
    String left(int32_t n) const;
    String right(int32_t n) const;
    bool insertAfter(int32_t pos, const char* text);
    void append(const char* text);
    void append(const String& other) { append(other.text_); }
    String concat(const char* text) const;
    String concat(const String& other) const { return concat(other.text_); }
    void trimLeft(const char* set = nullptr);
    void trimRight(const char* set = nullptr);
    bool cutAtLast(const char* sub);
    // Appends the path separator "/" unless the text already ends with it.
    void addBackslash();
    // The text becomes the executable's folder + "/" + the old text (from /proc/self/exe).
    void makeProgramRelative();
    static String fromInt(int32_t value);
    int32_t toInt() const;

    std::string str() const { return std::string(text_); }
    bool isEmpty() const { return text_[0] == '\0'; }
    bool operator==(const String& other) const { return equals(other); }

private:
    char* text_;
    int32_t capacity_;
};

// File-system helpers shared by several layers.
void createFolderPath(const char* base, const char* path);
bool folderExists(const String& path, bool enterTest);
bool deleteFileForced(const String& path);
void insertThousandsSeparators(String& number);
void collectFiles(const String& folder, std::vector<String>& results,
                  const std::vector<String>& excluded);
void collectSubfolders(const String& folder, std::vector<String>& results);
// Writes all n bytes to the descriptor, going on after interrupted and partial writes; false
// when the system refuses (errno says why).
bool writeAllBytes(int fd, const void* data, std::size_t n);
