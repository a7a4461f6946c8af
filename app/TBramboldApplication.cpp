#include "app/TBramboldApplication.h"

#include "platform/error_box.h"

#include <exception>

TBramboldApplication::TBramboldApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TBramboldApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        platform::ShowErrorBox(QString::fromLocal8Bit(error.what()));
        return false;
    }
}
