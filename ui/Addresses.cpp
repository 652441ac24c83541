#include "ui/Addresses.h"

#include "app/String.h"
#include "platform/HttpClient.h"
#include "remote/Address.h"
#include "remote/LocalAddress.h"

namespace {
String toString(const QString& text) {
    return String(text.toUtf8().toStdString());
}
QString fromString(const String& text) {
    return QString::fromUtf8(text.text());
}
} // namespace

namespace addresses {

QString cleaned(const QString& typed) {
    // A pasted address often brings blanks around it; a space inside is sent as browsers
    // send it, "%20".
    QString text = typed.trimmed();
    text.replace(QLatin1Char(' '), QLatin1String("%20"));
    return text;
}

QString normalised(const QString& typed) {
    // A local path becomes a file:// address that encodes its blanks itself: encoded here
    // first, they would be taken as a "%20" in the file's name.
    if (std::optional<std::string> local = localFileAddress(typed.trimmed().toUtf8().toStdString()))
        return QString::fromStdString(*local);
    String address = toString(cleaned(typed));
    normalizeAddress(address);
    return fromString(address);
}

bool isValid(const QString& address) {
    return isValidUrl(address.toUtf8().toStdString());
}

QString withCredentials(const QString& address, const QString& user, const QString& password) {
    String result = toString(address);
    insertCredentials(result, toString(user), toString(password));
    return fromString(result);
}

} // namespace addresses
