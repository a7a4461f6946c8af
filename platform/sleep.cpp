#include "platform/sleep.h"

#include <QThread>

namespace platform {

namespace {
std::function<void(unsigned)>& Handler()
{
    static std::function<void(unsigned)> handler;
    return handler;
}
}  // namespace

void SleepMs(unsigned ms)
{
    if (Handler()) {
        Handler()(ms);
        return;
    }
    QThread::msleep(ms);
}

void SetSleepHandler(std::function<void(unsigned ms)> handler)
{
    Handler() = std::move(handler);
}

}  // namespace platform
