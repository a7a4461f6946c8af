#include "platform/text_fit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <functional>

namespace platform {

namespace {

constexpr auto kWindowFontFamily = "Liberation Sans";
constexpr double kStep = 0.25;
// Where a widget's own size is kept once a smaller one has replaced it.
constexpr auto kDesignedSize = "designedPointSize";

// The largest size from `designed` down to the floor at which `fits` holds;
// the floor when even that is too wide. Never a narrower face: condensed
// faces differ too little to help and change the look.
double FittingSize(QFont font, double designed, const std::function<bool(const QFont&)>& fits)
{
    for (double size = designed;; size = std::max(kSmallestPointSize, size - kStep)) {
        font.setPointSizeF(size);
        if (size <= kSmallestPointSize || fits(font))
            return size;
    }
}

double DesignedSize(QWidget* widget)
{
    QVariant size = widget->property(kDesignedSize);
    if (!size.isValid()) {
        size = widget->font().pointSizeF();
        widget->setProperty(kDesignedSize, size);
    }
    return size.toDouble();
}

void SetPointSize(QWidget* widget, double size)
{
    if (widget->font().pointSizeF() == size)
        return;
    QFont font = widget->font();
    font.setPointSizeF(size);
    widget->setFont(font);
}

// Fits a widget whose whole text is drawn in its own font.
void FitWidget(QWidget* widget, const QStringList& lines, qreal room)
{
    const auto fits = [&](const QFont& font) {
        const QFontMetricsF metrics(font, widget);
        return std::all_of(lines.begin(), lines.end(),
                           [&](const QString& line) { return metrics.horizontalAdvance(line) <= room; });
    };
    SetPointSize(widget, FittingSize(widget->font(), DesignedSize(widget), fits));
}

void FitLabel(QLabel* label)
{
    if (label->text().isEmpty() || label->wordWrap())
        return;
    FitWidget(label, label->text().split(u'\n'), label->contentsRect().width() - 2 * label->margin());
}

// The room is the part of the button the style draws its text in.
void FitButton(QAbstractButton* button)
{
    if (button->text().isEmpty())
        return;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (auto* push = qobject_cast<QPushButton*>(button)) {
        if (push->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        if (push->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
    } else if (qobject_cast<QCheckBox*>(button)) {
        contents = QStyle::SE_CheckBoxContents;
    } else if (qobject_cast<QRadioButton*>(button)) {
        contents = QStyle::SE_RadioButtonContents;
    } else {
        return;
    }
    const int room = button->style()->subElementRect(contents, &option, button).width();
    FitWidget(button, button->text().split(u'\n'), room);
}

// Tabs cannot wrap into rows here: the whole row must fit the page control.
void FitTabRow(QTabWidget* pages)
{
    QTabBar* bar = pages->tabBar();
    const auto fits = [&](const QFont& font) {
        bar->setFont(font);
        int width = 0;
        for (int i = 0; i < bar->count(); ++i)
            width += bar->tabRect(i).width();
        return width <= pages->width();
    };
    const double size = FittingSize(bar->font(), DesignedSize(bar), fits);
    SetPointSize(bar, size);
}

// A box that neither wraps nor scrolls sideways cuts a long line off: each
// line gets the size that fits it, so one long line does not shrink the rest.
void FitLines(QTextEdit* edit)
{
    if (edit->lineWrapMode() != QTextEdit::NoWrap || edit->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
        return;
    QTextDocument* document = edit->document();
    qreal room = edit->contentsRect().width() - 2 * document->documentMargin();
    if (edit->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn)
        room -= edit->verticalScrollBar()->sizeHint().width();
    const QFont font = edit->font();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        const auto fits = [&](const QFont& candidate) {
            return QFontMetricsF(candidate, edit).horizontalAdvance(text) <= room;
        };
        QTextCharFormat format;
        format.setFontPointSize(FittingSize(font, font.pointSizeF(), fits));
        QTextCursor line(block);
        line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        line.mergeCharFormat(format);
    }
}

void FitOne(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget))
        FitLabel(label);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        FitButton(button);
    else if (auto* pages = qobject_cast<QTabWidget*>(widget))
        FitTabRow(pages);
    else if (auto* edit = qobject_cast<QTextEdit*>(widget))
        FitLines(edit);
}

}  // namespace

QFont WindowFont()
{
    QFont font(QString::fromLatin1(kWindowFontFamily));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

void FitTexts(QWidget* root)
{
    FitOne(root);
    for (QWidget* child : root->findChildren<QWidget*>())
        FitOne(child);
}

}  // namespace platform
