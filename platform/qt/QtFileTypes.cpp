#include "platform/qt/QtFileTypes.h"

#include <QApplication>
#include <QFile>
#include <QMimeDatabase>
#include <QMimeType>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

namespace {

QString extensionOf(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot + 1);
}

QIcon drawnPage() {
    QPixmap page(32, 32);
    page.fill(Qt::transparent);
    QPainter painter(&page);
    painter.setPen(Qt::darkGray);
    painter.setBrush(Qt::white);
    painter.drawRect(6, 2, 20, 27);
    return QIcon(page);
}

} // namespace

QtFileTypes::QtFileTypes(QString bundledIcon) : bundledIcon_(std::move(bundledIcon)) {}

FileTypeInfo QtFileTypes::lookup(const std::string& fileName) {
    const QString name = QString::fromStdString(fileName);
    const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    FileTypeInfo info;
    info.iconKey = type.name().toStdString();
    if (!type.isDefault()) {
        info.typeName = type.comment().toStdString();
    } else if (const QString ext = extensionOf(name); !ext.isEmpty()) {
        // What desktops call a file whose type they do not know.
        info.typeName = (ext.toUpper() + QStringLiteral(" file")).toStdString();
    }
    return info;
}

QIcon QtFileTypes::icon(const std::string& iconKey) const {
    const QMimeType type = QMimeDatabase().mimeTypeForName(QString::fromStdString(iconKey));
    if (type.isValid()) {
        if (QIcon icon = QIcon::fromTheme(type.iconName()); !icon.isNull())
            return icon;
        if (QIcon icon = QIcon::fromTheme(type.genericIconName()); !icon.isNull())
            return icon;
    }
    if (!bundledIcon_.isEmpty() && QFile::exists(bundledIcon_))
        return QIcon(bundledIcon_);
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
        return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    return drawnPage();
}
