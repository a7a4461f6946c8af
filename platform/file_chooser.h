#pragma once

#include <QStringList>
#include <functional>

class QWidget;

namespace platform {

// Lets the user pick existing files in a modal dialog owned by `owner`,
// offering `filter` first. Gives the chosen paths, none when the user cancelled.
QStringList ChooseFiles(QWidget* owner, const QString& title, const QString& filter);

using FileChooserHandler = std::function<QStringList(QWidget* owner, const QString& title, const QString& filter)>;

// Tests answer the dialog instead of showing it; an empty handler restores
// the real dialog.
void SetFileChooserHandler(FileChooserHandler handler);

}  // namespace platform
