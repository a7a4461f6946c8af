#include "platform/folder_chooser.h"

#include <QFileDialog>

namespace platform {

namespace {
FolderChooserHandler& Handler()
{
    static FolderChooserHandler handler;
    return handler;
}
}  // namespace

QString ChooseFolder(QWidget* owner, const QString& title, const QString& initialFolder)
{
    if (Handler())
        return Handler()(owner, title, initialFolder);
    return QFileDialog::getExistingDirectory(owner, title, initialFolder);
}

void SetFolderChooserHandler(FolderChooserHandler handler)
{
    Handler() = std::move(handler);
}

}  // namespace platform
