#include "platform/filetype.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

namespace {

QMimeType TypeOf(const QString& fileName) {
    return QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
}

} // namespace

QIcon FileTypeIcon(const QString& fileName) {
    const QMimeType type = TypeOf(fileName);
    // The theme names a type's icon, or failing that its generic family's.
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    return icon;
}

QString FileTypeName(const QString& fileName) {
    const QMimeType type = TypeOf(fileName);
    return type.isDefault() ? QString() : type.comment();
}

QIcon FolderIcon() {
    const QIcon icon = QIcon::fromTheme("folder");
    return icon.isNull() ? QApplication::style()->standardIcon(QStyle::SP_DirIcon) : icon;
}
