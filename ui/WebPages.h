// The maker's web pages that the Help menu and the damaged-archive dialog open.
#pragma once

#include <QString>
#include <QUrl>

namespace webpages {

constexpr const char* host = "www.brindlecot.example";

QUrl page(const char* path);
inline QUrl userGuide() {
    return page("/userGuide.asp?id=7");
}
inline QUrl home() {
    return page("/");
}
inline QUrl support() {
    return page("/support.asp");
}
inline QUrl suggestion() {
    return page("/suggestion.asp?id=7");
}
inline QUrl reportBug() {
    return page("/supportReportBug.asp");
}
inline QUrl repairProduct() {
    return page("/productItem.asp?id=6");
}

} // namespace webpages
