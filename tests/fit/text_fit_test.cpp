// Every text of every window fits its box, whatever font the machine gives.
// CTest runs this under three font set-ups; BRAMBOLD_FIT_FACE names the face
// each one must draw with.
#include <QApplication>
#include <QAbstractTextDocumentLayout>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOptionTab>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGlyphRun>
#include <QLabel>
#include <QPushButton>
#include <QRawFont>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>

// After Qt: the UnRAR header defines names that clash with Qt's.
#include "archive/QtUnRarPrompts.h"
#include "extract/TfrmMain.h"
#include "extract/TfrmOverWrite.h"
#include "extract/TfrmStatus.h"
#include "launcher/LanguageTable.h"
#include "launcher/TfrmConfig.h"
#include "launcher_test_support.h"

namespace {

QString Name(const QWidget* widget)
{
    return widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                          : widget->objectName();
}

// Seen once its page is chosen: hidden by nothing but a page control.
bool Shown(const QWidget* widget, const QWidget* window)
{
    for (; widget && widget != window; widget = widget->parentWidget())
        if (widget->isHidden() && !qobject_cast<const QStackedWidget*>(widget->parentWidget()))
            return false;
    return true;
}

// WCAG's relative luminance and contrast ratio.
double Luminance(QRgb rgb)
{
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

double Contrast(QRgb a, QRgb b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

constexpr double LeastContrast = 4.5;
// The floor of the fitting, as pixels: the boxes are in pixels at any dpi.
constexpr double SmallestPixelSize = 6.5 * 96 / 72;

// Gives the protected tab option to the inspection.
class TabOptions : public QTabBar {
public:
    static QStyleOptionTab Of(const QTabBar* bar, int index)
    {
        QStyleOptionTab option;
        static_cast<const TabOptions*>(bar)->initStyleOption(&option, index);
        return option;
    }
};

class Inspector {
public:
    QStringList problems;

    explicit Inspector(QWidget& window) : FWindow(window) {}

    void Face(const QWidget* widget, const QString& family, const QString& style, qreal pixelSize)
    {
        const QString face = qEnvironmentVariable("BRAMBOLD_FIT_FACE");
        if (family != face || style.contains(QLatin1String("Condensed")))
            problems << QString("%1 is drawn in %2 %3, not %4").arg(Name(widget), family, style, face);
        if (pixelSize < SmallestPixelSize - 0.01)
            problems << QString("%1 is drawn at %2 px").arg(Name(widget)).arg(pixelSize);
    }

    void Fits(const QWidget* widget, const QString& text, QSizeF needed, QSizeF room)
    {
        if (needed.width() > room.width())
            problems
                << QString("%1 \"%2\" needs %3 px in %4").arg(Name(widget), text).arg(needed.width()).arg(room.width());
        if (needed.height() > room.height())
            problems << QString("%1 \"%2\" needs %3 px of height in %4")
                            .arg(Name(widget), text)
                            .arg(needed.height())
                            .arg(room.height());
    }

    static qreal PixelSize(const QWidget* widget) { return widget->font().pointSizeF() * widget->logicalDpiY() / 72; }

    // Lines of one font under each other; gives the size of the text block.
    QSizeF Lines(const QWidget* widget, const QString& text, QSizeF room)
    {
        const QFontInfo info(widget->font());
        Face(widget, info.family(), info.styleName(), PixelSize(widget));
        const QFontMetricsF metrics(widget->font(), widget);
        const QStringList lines = text.split(u'\n');
        qreal width = 0;
        for (const QString& line : lines) {
            width = std::max(width, metrics.horizontalAdvance(line));
            Fits(widget, line, {metrics.horizontalAdvance(line), 0}, room);
        }
        const QSizeF block(width, metrics.height() + (lines.size() - 1) * metrics.lineSpacing());
        Fits(widget, text, {0, block.height()}, room);
        return block;
    }

    // A text cut off by the edge of a box it lies in is not whole either.
    void Inside(const QWidget* widget)
    {
        QRect rect = widget->rect();
        for (const QWidget* w = widget; w != &FWindow && w->parentWidget(); w = w->parentWidget()) {
            rect.translate(w->pos());
            const QRect parent = w->parentWidget()->rect();
            if (!parent.contains(rect))
                problems << QString("%1 lies outside %2: %3,%4 %5x%6 in %7x%8")
                                .arg(Name(widget), Name(w->parentWidget()))
                                .arg(rect.x())
                                .arg(rect.y())
                                .arg(rect.width())
                                .arg(rect.height())
                                .arg(parent.width())
                                .arg(parent.height());
        }
    }

    void Label(QLabel* label)
    {
        if (label->text().isEmpty())
            return;
        const int m = label->margin();
        const QRect room = label->contentsRect().adjusted(m, m, -m, -m);
        const QSizeF block = Lines(label, label->text(), room.size());
        Inside(label);
        const QRect text = QStyle::alignedRect(label->layoutDirection(), QFlag(label->alignment()),
                                               block.toSize().boundedTo(room.size()), room);
        Colour(label, text, label->palette().color(Group(label), label->foregroundRole()));
    }

    // The text goes in the rectangle the style draws a button's contents in.
    void Button(QPushButton* button)
    {
        QStyleOptionButton option;
        option.initFrom(button);
        if (button->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        if (button->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const QSizeF block = Lines(button, button->text(), room.size());
        Inside(button);
        const QRect text = QStyle::alignedRect(button->layoutDirection(), Qt::AlignCenter,
                                               block.toSize().boundedTo(room.size()), room);
        Colour(button, text, button->palette().color(Group(button), QPalette::ButtonText));
    }

    // Tabs cannot wrap: the row must fit the page control, and each caption
    // the place its style lays it out in.
    void Tabs(QTabWidget* pages)
    {
        QTabBar* bar = pages->tabBar();
        if (auto* proxy = qobject_cast<QProxyStyle*>(bar->style());
            proxy && proxy->baseStyle() != QApplication::style())
            problems << "the tab row's style wraps another style than the application's";
        int width = 0;
        QStringList captions;
        const QFontMetricsF metrics(bar->font(), bar);
        for (int i = 0; i < bar->count(); ++i) {
            width += bar->tabRect(i).width();
            captions << bar->tabText(i);
            const QStyleOptionTab option = TabOptions::Of(bar, i);
            const QRect text = bar->style()->subElementRect(QStyle::SE_TabBarTabText, &option, bar);
            Fits(bar, bar->tabText(i), {metrics.horizontalAdvance(bar->tabText(i)), metrics.height()}, text.size());
            Colour(bar, text, bar->palette().color(Group(bar), QPalette::WindowText));
        }
        const QFontInfo info(bar->font());
        Face(bar, info.family(), info.styleName(), PixelSize(bar));
        Fits(bar, captions.join(u'|'), {qreal(width), 0}, pages->size());
    }

    // A box that neither wraps nor scrolls sideways: each laid-out line must
    // fit, in the face it was really shaped with; without a vertical scroll
    // bar every line must fit in its height too. Any box: each colour of its
    // text against the box.
    void Box(QTextEdit* edit)
    {
        edit->document()->size();  // lays every block out
        const bool fixed = edit->lineWrapMode() == QTextEdit::NoWrap &&
                           edit->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff;
        const QPoint scrolled(edit->horizontalScrollBar()->value(), edit->verticalScrollBar()->value());
        for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next()) {
            const QTextLayout* layout = block.layout();
            if (!layout || layout->lineCount() == 0) {
                problems << Name(edit) + " was not laid out";
                continue;
            }
            const QRectF box = edit->document()->documentLayout()->blockBoundingRect(block);
            if (fixed) {
                for (const QGlyphRun& run : layout->lineAt(0).glyphRuns())
                    Face(edit, run.rawFont().familyName(), run.rawFont().styleName(), run.rawFont().pixelSize());
                Fits(edit, block.text(), {layout->lineAt(0).naturalTextWidth(), 0}, edit->viewport()->size());
                if (edit->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff)
                    Fits(edit, block.text(), {0, box.top() + layout->lineAt(0).rect().bottom()},
                         edit->viewport()->size());
            }
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const QBrush brush = fragment.charFormat().foreground();
                const QColor colour = brush.style() == Qt::NoBrush ? edit->palette().color(Group(edit), QPalette::Text)
                                                                   : brush.color();
                for (const QTextLine& line :
                     FragmentLines(*layout, fragment.position() - block.position(), fragment.length())) {
                    const QRect rect = line.rect().translated(box.topLeft()).toAlignedRect().translated(-scrolled);
                    Colour(edit->viewport(), rect.intersected(edit->viewport()->rect()), colour);
                }
            }
        }
        if (fixed)
            Inside(edit);
    }

    void Field(QLineEdit* edit)
    {
        Colour(edit, edit->contentsRect(), edit->palette().color(Group(edit), QPalette::Text));
    }

    void PlainBox(QPlainTextEdit* edit)
    {
        Colour(edit->viewport(), edit->viewport()->rect(), edit->palette().color(Group(edit), QPalette::Text));
    }

    // Widths and heights of every text shown; colours of those on the page
    // that is showing now, against `picture`, the window as drawn.
    void Window(const QImage& picture, bool measure)
    {
        FPicture = picture;
        FMeasure = measure;
        QList<QWidget*> widgets = FWindow.findChildren<QWidget*>();
        widgets.prepend(&FWindow);
        for (QWidget* widget : widgets) {
            if (!Shown(widget, &FWindow))
                continue;
            FColoured = widget->isVisible();
            if (!FMeasure && !FColoured)
                continue;
            const int before = problems.size();
            if (auto* label = qobject_cast<QLabel*>(widget))
                Label(label);
            else if (auto* button = qobject_cast<QPushButton*>(widget))
                Button(button);
            else if (auto* pages = qobject_cast<QTabWidget*>(widget))
                Tabs(pages);
            else if (auto* edit = qobject_cast<QTextEdit*>(widget))
                Box(edit);
            else if (auto* field = qobject_cast<QLineEdit*>(widget))
                Field(field);
            else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget))
                PlainBox(plain);
            // Measured once: the other pages only add their colours.
            if (!FMeasure)
                problems = problems.mid(0, before) + problems.mid(before).filter(QLatin1String("contrast"));
        }
        problems.removeDuplicates();
    }

private:
    static QPalette::ColorGroup Group(const QWidget* widget)
    {
        if (!widget->isEnabled())
            return QPalette::Disabled;
        return widget->isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    }

    static std::vector<QTextLine> FragmentLines(const QTextLayout& layout, int from, int length)
    {
        std::vector<QTextLine> lines;
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            if (line.textStart() < from + length && line.textStart() + line.textLength() > from)
                lines.push_back(line);
        }
        return lines;
    }

    // The text's colour against the colour most of its rectangle is drawn in.
    void Colour(const QWidget* widget, QRect rect, const QColor& colour)
    {
        if (!FColoured || rect.isEmpty())
            return;
        const qreal ratio = FPicture.devicePixelRatio();
        const QPoint origin = widget->mapTo(&FWindow, QPoint(0, 0));
        const QRect pixels = QRect((rect.topLeft() + origin) * ratio, rect.size() * ratio).intersected(FPicture.rect());
        // The strokes are the text's own colour; of the rest, the most common
        // shade (near shades of a gradient counted as one) is the background.
        // Nothing but strokes: the text is drawn on its own colour.
        struct Shade {
            int count = 0;
            long r = 0, g = 0, b = 0;
        };
        std::map<QRgb, Shade> shades;
        for (int y = pixels.top(); y <= pixels.bottom(); ++y)
            for (int x = pixels.left(); x <= pixels.right(); ++x) {
                const QRgb pixel = FPicture.pixel(x, y);
                if (Contrast(pixel, colour.rgb()) < 1.25)
                    continue;
                Shade& shade = shades[qRgb(qRed(pixel) >> 3, qGreen(pixel) >> 3, qBlue(pixel) >> 3)];
                ++shade.count;
                shade.r += qRed(pixel);
                shade.g += qGreen(pixel);
                shade.b += qBlue(pixel);
            }
        QRgb background = colour.rgb();
        if (!shades.empty()) {
            const Shade& most = std::max_element(shades.begin(), shades.end(), [](auto& a, auto& b) {
                                    return a.second.count < b.second.count;
                                })->second;
            background = qRgb(most.r / most.count, most.g / most.count, most.b / most.count);
        }
        const double contrast = Contrast(colour.rgb(), background);
        if (contrast < LeastContrast)
            problems << QString("%1: contrast %2 of %3 on %4")
                            .arg(Name(widget))
                            .arg(contrast, 0, 'f', 2)
                            .arg(colour.name(), QColor(background).name());
    }

    QWidget& FWindow;
    QImage FPicture;
    bool FMeasure = true;
    bool FColoured = true;
};

// BRAMBOLD_SCREENSHOTS=<folder> saves the named pages of a row as PNG files.
struct Screenshot {
    int page;  // of the page control; -1: a window without one
    const char* file;
};

// Under another style or palette the files are named after it too:
// about-english-windows-dark.png.
QString Variant()
{
    QString variant;
    for (const char* setting : {"BRAMBOLD_FIT_THEME", "BRAMBOLD_FIT_STYLE", "BRAMBOLD_FIT_PALETTE"})
        if (qEnvironmentVariableIsSet(setting))
            variant += '-' + qEnvironmentVariable(setting);
    if (qEnvironmentVariable("QT_ENABLE_HIGHDPI_SCALING") == QLatin1String("0"))
        variant += "-" + qEnvironmentVariable("QT_FONT_DPI") + "dpi";
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        variant += "-" + qEnvironmentVariable("QT_SCALE_FACTOR") + "x";
    return variant;
}

void Save(QWidget& window, const std::vector<Screenshot>& shots)
{
    const QString folder = qEnvironmentVariable("BRAMBOLD_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    for (const Screenshot& shot : shots) {
        if (shot.page >= 0)
            window.findChild<QTabWidget*>()->setCurrentIndex(shot.page);
        QCoreApplication::processEvents();
        QString file = QString::fromLatin1(shot.file);
        file.insert(file.lastIndexOf('.'), Variant());
        QVERIFY(window.grab().save(folder + "/" + file));
    }
}

// Shows the window, inspects it, each page of a page control in turn, and
// gives what did not fit or stand out.
QStringList Inspect(QWidget& window, const std::vector<Screenshot>& shots = {})
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return {"the window did not come up"};
    Inspector inspector(window);
    auto* pages = window.findChild<QTabWidget*>();
    const int count = pages ? pages->count() : 1;
    for (int page = 0; page < count; ++page) {
        if (pages)
            pages->setCurrentIndex(page);
        QCoreApplication::processEvents();
        inspector.Window(window.grab().toImage(), page == 0);
    }
    if (pages)
        pages->setCurrentIndex(0);
    Save(window, shots);
    return inspector.problems;
}

// The engine's prompts run their own loop: look at the dialog inside it.
QStringList InspectPrompt(const std::function<void(TQtUnRarPrompts&)>& ask, const std::vector<Screenshot>& shots = {})
{
    QStringList problems;
    TQtUnRarPrompts::SetDialogHook([&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            problems = Inspect(dialog, shots);
            dialog.reject();
        });
    });
    TQtUnRarPrompts prompts;
    ask(prompts);
    TQtUnRarPrompts::SetDialogHook({});
    return problems;
}

QStringList InspectOverwrite(const QString& fileName, const std::vector<Screenshot>& shots = {})
{
    TfrmOverWrite dialog;
    dialog.SetFileName(fileName);
    return Inspect(dialog, shots);
}

QStringList InspectLauncher(int language)
{
    LauncherSandbox sandbox;
    LauncherSandbox::WriteSettings(sandbox.MachineFile(), "Installer%20Language=" + QByteArray::number(language));
    // The help text brings colours of its own.
    for (const char* help : {"CoreHelpEN.dat", "CoreHelpDE.dat"})
        QFile::copy(QStringLiteral(BRAMBOLD_HELP_DIR "/") + help, sandbox.ProgramFolder() + help);
    TfrmConfig window;
    window.show();  // the pages' pictures come with the window
    // On a screen of more than one pixel per layout pixel, no picture is a
    // stretched small one.
    QStringList soft;
    for (const QLabel* label : window.findChildren<QLabel*>())
        if (!label->pixmap().isNull() && label->pixmap().devicePixelRatio() < window.devicePixelRatioF())
            soft << QString("%1 is drawn at %2x on a %3x screen")
                        .arg(label->objectName())
                        .arg(label->pixmap().devicePixelRatio())
                        .arg(window.devicePixelRatioF());
    std::vector<Screenshot> shots;
    if (language == 1033)
        shots = {{1, "about-english.png"}};
    if (language == 1033 && !Variant().isEmpty())
        shots = {{0, "launcher-english.png"}, {1, "about-english.png"}, {5, "help-english.png"}};
    if (language == 1031)
        shots = {{2, "gifts-german.png"}};
    if (language == 3082)
        shots = {{0, "launcher-spanish.png"}};
    return soft + Inspect(window, shots);
}

// A dark scheme as theme tools give it: light text on dark grey.
QPalette DarkPalette()
{
    QPalette palette(QColor(0x35, 0x35, 0x35), QColor(0x2d, 0x2d, 0x2d));
    palette.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::AlternateBase, QColor(0x2d, 0x2d, 0x2d));
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xd0));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x7a, 0xb4, 0xff));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return palette;
}

using Check = std::function<QStringList()>;

std::vector<std::pair<QString, Check>> Rows()
{
    std::vector<std::pair<QString, Check>> rows = {
        {"extraction window",
         [] {
             QTemporaryDir program;
             platform::SetProgramFolder(program.path().toStdString() + "/");
             TfrmMain window(std::string{});
             window.findChild<QTimer*>("Timer1")->stop();
             const QStringList problems = Inspect(window, {{-1, "extraction-window.png"}});
             platform::SetProgramFolder({});
             return problems;
         }},
        {"overwrite prompt, short name", [] { return InspectOverwrite("a.txt"); }},
        {"overwrite prompt, long name",
         [] {
             return InspectOverwrite("Projekte/2024/Entwürfe/Jahresbericht der Abteilung für Archivierung "
                                     "und Langzeitspeicherung, endgültige Fassung.docx",
                                     {{-1, "overwrite-prompt.png"}});
         }},
        {"status window",
         [] {
             TfrmStatus dialog;
             dialog.SetLines({"Brambold: Used Password is: secret", "Brambold: Process File"});
             return Inspect(dialog, {{-1, "status-window.png"}});
         }},
        {"password prompt",
         [] {
             return InspectPrompt([](TQtUnRarPrompts& p) { p.AskPassword("secret", {}); },
                                  {{-1, "password-prompt.png"}});
         }},
        {"password prompt, asked again",
         [] {
             return InspectPrompt(
                 [](TQtUnRarPrompts& p) {
                     p.AskPassword("",
                                   {"/home/user/Downloads/Jahresbericht der Abteilung, endgültige Fassung.rar", true});
                 },
                 {{-1, "password-prompt-again.png"}});
         }},
        {"next-volume prompt",
         [] {
             return InspectPrompt([](TQtUnRarPrompts& p) {
                 std::string name;
                 p.AskNextVolume("/home/user/archive.part2.rar", name);
             });
         }},
    };
    for (const TLanguageRow& row : LanguageRows())
        rows.emplace_back(QString("launcher, %1 %2").arg(row.Id).arg(QLatin1String(row.Language)),
                          [id = row.Id] { return InspectLauncher(id); });
    return rows;
}

}  // namespace

class TestTextFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString face = qEnvironmentVariable("BRAMBOLD_FIT_FACE");
        QVERIFY2(!face.isEmpty(), "BRAMBOLD_FIT_FACE names the face the windows must be drawn in");
        QVERIFY2(QFontDatabase::hasFamily(face), qPrintable(face + " is not installed: run scripts/setup"));
        // A theme tool that is not there would leave the test nothing to test.
        if (const QString theme = qEnvironmentVariable("BRAMBOLD_FIT_THEME"); !theme.isEmpty())
            QVERIFY2(QApplication::style()->name().startsWith(theme),
                     qPrintable(theme + " is not installed: run scripts/setup"));
        // What a desktop's theme tool would set: another style, a dark scheme.
        if (const QString style = qEnvironmentVariable("BRAMBOLD_FIT_STYLE"); !style.isEmpty())
            QVERIFY2(QApplication::setStyle(style), qPrintable("no style " + style));
        if (qEnvironmentVariable("BRAMBOLD_FIT_PALETTE") == QLatin1String("dark"))
            QApplication::setPalette(DarkPalette());
    }

    void everyTextFitsItsBox_data()
    {
        QTest::addColumn<int>("row");
        const auto rows = Rows();
        for (size_t i = 0; i < rows.size(); ++i)
            QTest::newRow(qPrintable(rows[i].first)) << int(i);
    }

    void everyTextFitsItsBox()
    {
        QFETCH(int, row);
        const QStringList problems = Rows()[row].second();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("\n")));
    }
};

QTEST_MAIN(TestTextFit)
#include "text_fit_test.moc"
