#include "platform/narrow_tabs.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QTabBar>

namespace platform {

namespace {

class TNarrowTabsStyle : public QProxyStyle {
public:
    // A proxy takes its base style as child; the application's style stays
    // the application's, so it is handed back at once.
    TNarrowTabsStyle(QStyle* base, QObject* owner) : QProxyStyle(base)
    {
        base->setParent(owner);
        setParent(qApp);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? value * 2 / 3 : value;
    }
};

}  // namespace

void UseNarrowTabs(QTabBar* bar)
{
    // The base style asks its proxy for the margins while it lays a tab's
    // text out, so sizing and drawing agree only when the proxy wraps the
    // very style object in use. A style rebuilt from its name may differ from
    // it (a theme tool's configured style cannot be rebuilt at all), and the
    // captions are then cut. Being the base's proxy, this one lives as long
    // as the application; only tab bars ask for the one metric it changes.
    static QPointer<TNarrowTabsStyle> narrow;
    if (!narrow || narrow->baseStyle() != QApplication::style())
        narrow = new TNarrowTabsStyle(QApplication::style(), QApplication::style()->parent());
    bar->setStyle(narrow);
}

}  // namespace platform
