// Type names and icons of files by name, from the shared MIME database. Icons come from a
// chain, because theme icons are missing under bare X servers and the offscreen platform:
// the type's theme icon, its generic theme icon, a bundled icon, the style's file icon, and
// at last a plain drawn page, so that there is always an icon to show.
#pragma once

#include "platform/DesktopServices.h"

#include <QIcon>
#include <QString>

class QtFileTypes : public IFileTypeLookup {
public:
    // `bundledIcon`: a file or resource path tried before the style's icon.
    explicit QtFileTypes(QString bundledIcon = QStringLiteral(":/icons/file.png"));

    FileTypeInfo lookup(const std::string& fileName) override;
    // The icon for a key returned by `lookup`. Use on the application's thread.
    QIcon icon(const std::string& iconKey) const;

private:
    QString bundledIcon_;
};
