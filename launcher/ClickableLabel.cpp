#include "launcher/ClickableLabel.h"

#include <QMouseEvent>

ClickableLabel::ClickableLabel(QWidget* parent) : QLabel(parent) {}

void ClickableLabel::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

// Like a button: the click counts when the button is let go over the label.
void ClickableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}
