#pragma once

#include <QLabel>

// A picture or label that reacts to a click like a button does. Given a
// focus policy, it also takes the focus with Tab, shows it, and opens with
// Return, Enter or Space.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool FPressed = false;
};
