#include "launcher/ClickableLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

ClickableLabel::ClickableLabel(QWidget* parent) : QLabel(parent) {}

void ClickableLabel::mousePressEvent(QMouseEvent* event)
{
    FPressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

// Like a button: the click counts when the button is let go over the label.
void ClickableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    FPressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

void ClickableLabel::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (event->modifiers() & ~Qt::KeypadModifier)
            break;
        event->accept();
        emit clicked();
        return;
    default:
        break;
    }
    QLabel::keyPressEvent(event);
}

void ClickableLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.backgroundColor = palette().color(backgroundRole());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}
