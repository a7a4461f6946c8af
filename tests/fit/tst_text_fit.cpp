// Every text of every window fits its box, whatever font the machine gives.
// CTest runs this under three font set-ups; BRAMBOLD_FIT_FACE names the face
// each one must draw with.
#include <QDialog>
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

#include <functional>
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

class Inspector {
public:
    QStringList problems;

    void Face(const QWidget* widget, const QString& family, const QString& style, qreal pointSize)
    {
        const QString face = qEnvironmentVariable("BRAMBOLD_FIT_FACE");
        if (family != face || style.contains(QLatin1String("Condensed")))
            problems << QString("%1 is drawn in %2 %3, not %4").arg(Name(widget), family, style, face);
        if (pointSize < 6.5)
            problems << QString("%1 is drawn at %2 pt").arg(Name(widget)).arg(pointSize);
    }

    void Width(const QWidget* widget, const QString& text, qreal needed, qreal room)
    {
        if (needed > room)
            problems << QString("%1 \"%2\" needs %3 px in %4").arg(Name(widget), text).arg(needed).arg(room);
    }

    void Lines(const QWidget* widget, const QString& text, qreal room)
    {
        const QFontInfo info(widget->font());
        Face(widget, info.family(), info.styleName(), widget->font().pointSizeF());
        const QFontMetricsF metrics(widget->font(), widget);
        for (const QString& line : text.split(u'\n'))
            Width(widget, line, metrics.horizontalAdvance(line), room);
    }

    void Label(const QLabel* label)
    {
        if (!label->text().isEmpty())
            Lines(label, label->text(), label->contentsRect().width() - 2 * label->margin());
    }

    // The text goes in the rectangle the style draws a button's contents in.
    void Button(const QPushButton* button)
    {
        QStyleOptionButton option;
        option.initFrom(button);
        if (button->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        if (button->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
        Lines(button, button->text(),
              button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width());
    }

    // Tabs cannot wrap: the row must fit the page control.
    void Tabs(const QTabWidget* pages)
    {
        const QTabBar* bar = pages->tabBar();
        int width = 0;
        QStringList captions;
        for (int i = 0; i < bar->count(); ++i) {
            width += bar->tabRect(i).width();
            captions << bar->tabText(i);
        }
        const QFontInfo info(bar->font());
        Face(bar, info.family(), info.styleName(), bar->font().pointSizeF());
        Width(bar, captions.join(u'|'), width, pages->width());
    }

    // A box that neither wraps nor scrolls sideways: each laid-out line must
    // fit, in the face it was really shaped with.
    void Box(const QTextEdit* edit)
    {
        if (edit->lineWrapMode() != QTextEdit::NoWrap || edit->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
            return;
        edit->document()->size();  // lays every block out
        for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next()) {
            const QTextLayout* layout = block.layout();
            if (!layout || layout->lineCount() == 0) {
                problems << Name(edit) + " was not laid out";
                continue;
            }
            for (const QGlyphRun& run : layout->lineAt(0).glyphRuns())
                Face(edit, run.rawFont().familyName(), run.rawFont().styleName(),
                     run.rawFont().pixelSize() * 72 / edit->logicalDpiY());
            Width(edit, block.text(), layout->lineAt(0).naturalTextWidth(), edit->viewport()->width());
        }
    }

    void Window(QWidget& window)
    {
        QList<QWidget*> widgets = window.findChildren<QWidget*>();
        widgets.prepend(&window);
        for (QWidget* widget : widgets) {
            if (!Shown(widget, &window))
                continue;
            if (auto* label = qobject_cast<QLabel*>(widget))
                Label(label);
            else if (auto* button = qobject_cast<QPushButton*>(widget))
                Button(button);
            else if (auto* pages = qobject_cast<QTabWidget*>(widget))
                Tabs(pages);
            else if (auto* edit = qobject_cast<QTextEdit*>(widget))
                Box(edit);
        }
    }
};

// BRAMBOLD_SCREENSHOTS=<folder> saves the named pages of a row as PNG files.
struct Screenshot {
    int page;  // of the page control; -1: a window without one
    const char* file;
};

void Save(QWidget& window, const std::vector<Screenshot>& shots)
{
    const QString folder = qEnvironmentVariable("BRAMBOLD_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    for (const Screenshot& shot : shots) {
        if (shot.page >= 0)
            window.findChild<QTabWidget*>()->setCurrentIndex(shot.page);
        QCoreApplication::processEvents();
        QVERIFY(window.grab().save(folder + "/" + shot.file));
    }
}

// Shows the window, inspects it and gives what did not fit.
QStringList Inspect(QWidget& window, const std::vector<Screenshot>& shots = {})
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return {"the window did not come up"};
    Inspector inspector;
    inspector.Window(window);
    Save(window, shots);
    return inspector.problems;
}

// The engine's prompts run their own loop: look at the dialog inside it.
QStringList InspectPrompt(const std::function<void(TQtUnRarPrompts&)>& ask)
{
    QStringList problems;
    TQtUnRarPrompts::SetDialogHook([&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            problems = Inspect(dialog);
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
    LauncherSandbox::WriteSettings(sandbox.MachineFile(),
                                   "Installer%20Language=" + QByteArray::number(language));
    TfrmConfig window;
    std::vector<Screenshot> shots;
    if (language == 1033)
        shots = {{1, "about-english.png"}};
    if (language == 1031)
        shots = {{2, "gifts-german.png"}};
    if (language == 3082)
        shots = {{0, "launcher-spanish.png"}};
    return Inspect(window, shots);
}

using Check = std::function<QStringList()>;

std::vector<std::pair<QString, Check>> Rows()
{
    std::vector<std::pair<QString, Check>> rows = {
        {"extraction window",
         [] {
             QTemporaryDir program;
             platform::SetProgramFolder(program.path().toStdString() + "/");
             TfrmMain window(QStringList{program.filePath("brambold")});
             window.findChild<QTimer*>("Timer1")->stop();
             const QStringList problems = Inspect(window);
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
             return Inspect(dialog);
         }},
        {"password prompt", [] { return InspectPrompt([](TQtUnRarPrompts& p) { p.AskPassword("secret"); }); }},
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
#include "tst_text_fit.moc"
