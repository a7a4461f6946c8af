#pragma once

#include <QApplication>

// The program's application object. An error that leaves an event handler is
// shown in the application's error box and ends that handler only; the
// program goes on.
class TBramboldApplication : public QApplication {
    Q_OBJECT
public:
    TBramboldApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
