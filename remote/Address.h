// Address helpers: what the URL bar, the Open URL dialog and start-up do to what the user
// typed, and how the remote source takes an address apart.
#pragma once

#include "app/String.h"

#include <string>
#include <string_view>

// A local path ("/", "./", "../" or "~/" in front, or an existing file named without
// "://") becomes a file:// address (see LocalAddress.h). Otherwise, no "://": "http://" is
// put in front. A scheme other than http, https, ftp or file (any case) is replaced by "http".
void normalizeAddress(String& address);

// Takes "user:password@" out of the address's server part. Only an "@" before the path
// counts (a file "a@b.zip" is not a user name); the last such "@" ends the credentials, and
// the password is everything after the first ":". Both are percent-decoded. Without
// credentials user and password become empty and the address stays as it is.
void splitCredentials(String& address, String& user, String& password);

// Puts user + ":" + password + "@" after the "://" unless the address already carries
// credentials. Characters that would end the credentials early are percent-encoded.
void insertCredentials(String& address, const String& user, const String& password);

// scheme + "://" + host (with its port, if one is written), credentials left out:
// http://h:8080/a/b.zip gives http://h:8080.
String serverPart(const String& address);

// The address without its server part: /a/b.zip. Callers strip credentials first.
String pathPart(const String& address);

// The file name a user knows a URL by: the last path segment, percent-decoded, without
// query and fragment. A decoded "/" becomes "_" so the name stays one path component.
std::string fileNameFromUrl(std::string_view url);

std::string percentDecode(std::string_view text);
// Control bytes, blanks and the bytes of `alsoEncoded` as %XX; bytes past ASCII too when
// `nonAsciiToo` (an address's path may keep UTF-8 as it is).
std::string percentEncode(std::string_view text, std::string_view alsoEncoded, bool nonAsciiToo);
// The form of a user name or password inside an address: ":@/?#%", blanks and non-ASCII
// bytes percent-encoded, so that percentDecode gives the text back.
std::string encodeCredential(const std::string& text);
