#include "platform/shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

// Failures are the desktop's business: it may show a message of its own.
void OpenUrl(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url));
}

void OpenLocalFile(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace platform
