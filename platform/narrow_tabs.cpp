#include "platform/narrow_tabs.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionTab>
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

    QRect subElementRect(SubElement element, const QStyleOption* option, const QWidget* widget) const override
    {
        const QRect rect = QProxyStyle::subElementRect(element, option, widget);
        if (element != SE_TabBarTabText)
            return rect;
        return Widened(rect, option, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* tab = qstyleoption_cast<const QStyleOptionTab*>(option);
        if (!tab || (element != CE_TabBarTab && element != CE_TabBarTabLabel) || Unheeded(option, widget) == 0) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        // The label is laid out inside the base style with its own margins:
        // it gets a rectangle wider by what the narrower margins saved.
        if (element == CE_TabBarTab)
            QProxyStyle::drawControl(CE_TabBarTabShape, option, painter, widget);
        QStyleOptionTab label = *tab;
        label.rect = Widened(tab->rect, option, widget);
        QProxyStyle::drawControl(CE_TabBarTabLabel, &label, painter, widget);
    }

private:
    // A base style that is itself a proxy (a theme tool's) lays the text out
    // with the margins of the style it wraps, never asking this one: each
    // side of the text then lacks what the narrower margin saved.
    int Unheeded(const QStyleOption* option, const QWidget* widget) const
    {
        // The innermost style asks the proxy that wraps it directly.
        const QStyle* asked = this;
        while (const auto* proxy = qobject_cast<const QProxyStyle*>(asked)) {
            if (!qobject_cast<const QProxyStyle*>(proxy->baseStyle()))
                break;
            asked = proxy->baseStyle();
        }
        if (asked == this)
            return 0;
        return asked->pixelMetric(PM_TabBarTabHSpace, option, widget) / 2 -
               pixelMetric(PM_TabBarTabHSpace, option, widget) / 2;
    }

    QRect Widened(const QRect& rect, const QStyleOption* option, const QWidget* widget) const
    {
        const int d = Unheeded(option, widget);
        const auto* tab = qstyleoption_cast<const QStyleOptionTab*>(option);
        const bool vertical = tab && (tab->shape == QTabBar::RoundedWest || tab->shape == QTabBar::RoundedEast ||
                                      tab->shape == QTabBar::TriangularWest || tab->shape == QTabBar::TriangularEast);
        return vertical ? rect.adjusted(0, -d, 0, d) : rect.adjusted(-d, 0, d, 0);
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
