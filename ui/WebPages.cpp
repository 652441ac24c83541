#include "ui/WebPages.h"

namespace webpages {

QUrl page(const char* path) {
    return QUrl(QString("http://%1%2").arg(host, QString::fromLatin1(path)), QUrl::StrictMode);
}

} // namespace webpages
