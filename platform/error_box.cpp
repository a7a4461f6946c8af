#include "platform/error_box.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

namespace {
std::function<void(const QString&)>& Handler()
{
    static std::function<void(const QString&)> handler;
    return handler;
}
}  // namespace

void ShowErrorBox(const QString& message)
{
    if (Handler()) {
        Handler()(message);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), message, QMessageBox::Ok);
    // Messages quote settings and file names, which are never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void SetErrorBoxHandler(std::function<void(const QString&)> handler)
{
    Handler() = std::move(handler);
}

}  // namespace platform
