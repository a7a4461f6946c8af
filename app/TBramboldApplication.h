#pragma once

#include <QApplication>

class QSocketNotifier;

// The program's application object. An error that leaves an event handler is
// shown in the application's error box and ends that handler only; the
// program goes on. SIGTERM, SIGINT and SIGHUP close the windows as their
// close buttons would: a run under way stops and leaves nothing behind.
class TBramboldApplication : public QApplication {
    Q_OBJECT
public:
    TBramboldApplication(int& argc, char** argv);
    ~TBramboldApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

private:
    void CatchTerminationSignals();
    QSocketNotifier* FSignalNotifier = nullptr;
};
