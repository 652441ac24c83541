#include "ui/LinkDrop.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

namespace {

bool isRemoteScheme(const QString& scheme) {
    return scheme == "http" || scheme == "https" || scheme == "ftp";
}

// A local file that the viewer opens: an existing zip file, not a folder named like one.
bool isLocalZip(const QUrl& url) {
    if (!url.isLocalFile())
        return false;
    const QFileInfo file(url.toLocalFile());
    return file.isFile() && file.suffix().compare("zip", Qt::CaseInsensitive) == 0;
}

QString addressOf(const QUrl& url) {
    if (!url.isValid())
        return {};
    if (isRemoteScheme(url.scheme().toLower()) && !url.host().isEmpty())
        return url.toString(QUrl::FullyEncoded);
    if (isLocalZip(url))
        return url.toString(QUrl::FullyEncoded);
    return {};
}

// Text is a link only when it is one address and nothing else: a sentence that mentions an
// address is not a request to open it. A remote address is taken as written, so that the URL
// bar's check judges it and names what is wrong.
QString addressInText(const QString& text) {
    static const QRegularExpression remote("^(https?|ftp)://\\S+$",
                                           QRegularExpression::CaseInsensitiveOption);
    const QString trimmed = text.trimmed();
    // A file manager's "copy path" gives the path as it is, blanks included: one line naming
    // an existing zip file is that file.
    if (trimmed.startsWith('/') && !trimmed.contains('\n'))
        return addressOf(QUrl::fromLocalFile(trimmed));
    if (trimmed.isEmpty() || trimmed.contains(QRegularExpression("\\s")))
        return {};
    if (remote.match(trimmed).hasMatch())
        return trimmed;
    if (trimmed.startsWith("file://", Qt::CaseInsensitive))
        return addressOf(QUrl(trimmed));
    return {};
}

} // namespace

namespace linkdrop {

QString addressIn(const QMimeData& data) {
    if (data.hasUrls()) {
        for (const QUrl& url : data.urls()) {
            const QString address = addressOf(url);
            if (!address.isEmpty())
                return address;
        }
        return {};
    }
    if (data.hasText())
        return addressInText(data.text());
    return {};
}

QString acceptIfLink(QDropEvent& event) {
    const QMimeData* data = event.mimeData();
    const QString address = data != nullptr ? addressIn(*data) : QString();
    if (address.isEmpty()) {
        event.ignore();
        return {};
    }
    if (event.possibleActions() & Qt::CopyAction)
        event.setDropAction(Qt::CopyAction);
    else if (event.possibleActions() & Qt::LinkAction)
        event.setDropAction(Qt::LinkAction);
    else {
        event.ignore();
        return {};
    }
    event.accept();
    return address;
}

} // namespace linkdrop
