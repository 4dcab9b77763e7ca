#include "app/trash.h"

#include "platform/codepage.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

bool MoveToTrash(std::string_view path, bool confirm, QWidget* owner) {
    const auto host = SystemToUtf8(path);
    if (!host) return false;
    const QString name = QString::fromStdString(*host);
    if (!QFileInfo::exists(name)) return false;
    if (confirm) {
        QMessageBox ask(QMessageBox::Warning, "ファイルの削除",
                        QString("'%1' をごみ箱に移動しますか?").arg(QFileInfo(name).fileName()),
                        QMessageBox::Yes | QMessageBox::No, owner);
        ask.setDefaultButton(QMessageBox::Yes);
        if (ask.exec() != QMessageBox::Yes) return false;
    }
    return QFile::moveToTrash(name);
}
