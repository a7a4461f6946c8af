#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace platform {

// Lets the user pick a folder in a modal dialog owned by `owner`, starting at
// `initialFolder`. Gives the chosen folder's path, or an empty text when the
// user cancelled.
QString ChooseFolder(QWidget* owner, const QString& title, const QString& initialFolder);

using FolderChooserHandler = std::function<QString(QWidget* owner, const QString& title, const QString& initialFolder)>;

// Tests answer the dialog instead of showing it; an empty handler restores
// the real dialog.
void SetFolderChooserHandler(FolderChooserHandler handler);

}  // namespace platform
