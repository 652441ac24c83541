// The viewer's view of address handling: the remote layer's rules, taken and given as QString.
#pragma once

#include <QString>

namespace addresses {

// Blanks around the text go and spaces inside become "%20".
QString cleaned(const QString& typed);
// A local path gives its file:// address; anything else is cleaned, then no scheme gets
// "http://" and a scheme other than http, https, ftp or file becomes http.
QString normalised(const QString& typed);
// Syntax check: scheme, "://", a host, a valid port if any.
bool isValid(const QString& address);
// User and password go in right after the first "://", percent-encoded so that "@", ":" and
// "/" in them survive. An address that already holds "@" is returned as it is.
QString withCredentials(const QString& address, const QString& user, const QString& password);

} // namespace addresses
