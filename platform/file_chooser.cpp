#include "platform/file_chooser.h"

#include <QFileDialog>

namespace platform {

namespace {
FileChooserHandler& Handler()
{
    static FileChooserHandler handler;
    return handler;
}
}  // namespace

QStringList ChooseFiles(QWidget* owner, const QString& title, const QString& filter)
{
    if (Handler())
        return Handler()(owner, title, filter);
    return QFileDialog::getOpenFileNames(owner, title, QString(), filter);
}

void SetFileChooserHandler(FileChooserHandler handler)
{
    Handler() = std::move(handler);
}

}  // namespace platform
