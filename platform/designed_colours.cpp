#include "platform/designed_colours.h"

#include <QPalette>
#include <QWidget>

namespace platform {

void KeepDesignedColours(QWidget* widget)
{
    QPalette palette = widget->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, Qt::white);
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::WindowText, Qt::black);
        palette.setColor(group, QPalette::Text, Qt::black);
    }
    // Grey, but still readable on white.
    palette.setColor(QPalette::Disabled, QPalette::Window, Qt::white);
    palette.setColor(QPalette::Disabled, QPalette::Base, Qt::white);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x59, 0x59, 0x59));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x59, 0x59, 0x59));
    widget->setPalette(palette);
}

}  // namespace platform
