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
#include <utility>
#include <vector>

namespace platform {

namespace {

constexpr auto WindowFontFamily = "Liberation Sans";
constexpr double SizeStep = 0.25;
// Where a widget's own size is kept once a smaller one has replaced it.
constexpr auto DesignedSizeProperty = "designedPointSize";

// The boxes are in pixels: without scaling, a denser screen gives a point
// more pixels, so the floor is the pixel size of SmallestPointSize at 96 dpi.
double PointSizeFloor(const QWidget* widget)
{
    return std::min(SmallestPointSize, SmallestPointSize * 96.0 / widget->logicalDpiY());
}

// The largest size from `designed` down to the floor at which `fits` holds;
// the floor when even that is too large. Never a narrower face: condensed
// faces differ too little to help and change the look.
double FittingSize(const QWidget* widget, QFont font, double designed, const std::function<bool(const QFont&)>& fits)
{
    const double floor = PointSizeFloor(widget);
    for (double size = designed;; size = std::max(floor, size - SizeStep)) {
        font.setPointSizeF(size);
        if (size <= floor || fits(font))
            return size;
    }
}

double DesignedSize(QWidget* widget)
{
    QVariant size = widget->property(DesignedSizeProperty);
    if (!size.isValid()) {
        size = widget->font().pointSizeF();
        widget->setProperty(DesignedSizeProperty, size);
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

// Fits a widget whose whole text is drawn in its own font, line under line.
void FitWidget(QWidget* widget, const QStringList& lines, QSizeF room)
{
    const auto fits = [&](const QFont& font) {
        const QFontMetricsF metrics(font, widget);
        return metrics.height() + (lines.size() - 1) * metrics.lineSpacing() <= room.height() &&
               std::all_of(lines.begin(), lines.end(),
                           [&](const QString& line) { return metrics.horizontalAdvance(line) <= room.width(); });
    };
    SetPointSize(widget, FittingSize(widget, widget->font(), DesignedSize(widget), fits));
}

void FitLabel(QLabel* label)
{
    if (label->text().isEmpty() || label->wordWrap())
        return;
    const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                      -label->margin());
    FitWidget(label, label->text().split(u'\n'), room.size());
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
    FitWidget(button, button->text().split(u'\n'), button->style()->subElementRect(contents, &option, button).size());
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
    const double size = FittingSize(bar, bar->font(), DesignedSize(bar), fits);
    SetPointSize(bar, size);
}

void SetBlockPointSize(const QTextBlock& block, double size)
{
    QTextCharFormat format;
    format.setFontPointSize(size);
    QTextCursor line(block);
    line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    line.mergeCharFormat(format);
}

// A box that neither wraps nor scrolls sideways cuts a long line off: each
// line gets the size that fits it, so one long line does not shrink the rest.
// A box without a vertical scroll bar cuts the last lines off: then the
// largest lines come down together until all of them fit its height.
void FitLines(QTextEdit* edit)
{
    if (edit->lineWrapMode() != QTextEdit::NoWrap || edit->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
        return;
    QTextDocument* document = edit->document();
    qreal room = edit->contentsRect().width() - 2 * document->documentMargin();
    if (edit->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn)
        room -= edit->verticalScrollBar()->sizeHint().width();
    const QFont font = edit->font();
    std::vector<std::pair<QTextBlock, double>> lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        const auto fits = [&](const QFont& candidate) {
            return QFontMetricsF(candidate, edit).horizontalAdvance(text) <= room;
        };
        lines.emplace_back(block, FittingSize(edit, font, font.pointSizeF(), fits));
    }
    // Measured as laid out: a line's height is not quite its font's. A box
    // that scrolls has room for any height.
    const bool scrolls = edit->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    const qreal height = edit->contentsRect().height();
    const double floor = PointSizeFloor(edit);
    for (double cap = font.pointSizeF();; cap = std::max(floor, cap - SizeStep)) {
        for (const auto& [block, size] : lines)
            SetBlockPointSize(block, std::min(size, cap));
        if (scrolls || cap <= floor || document->size().height() <= height)
            return;
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
    QFont font(QString::fromLatin1(WindowFontFamily));
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
