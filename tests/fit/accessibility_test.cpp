// Every window read by a screen reader: each widget that takes the focus or
// shows something has a name to say.
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>

// After Qt: the UnRAR header defines names that clash with Qt's.
#include "archive/QtUnRarPrompts.h"
#include "extract/TfrmMain.h"
#include "extract/TfrmOverWrite.h"
#include "extract/TfrmStatus.h"
#include "launcher/TfrmConfig.h"
#include "launcher_test_support.h"

namespace {

// Seen once its page is chosen: hidden by nothing but a page control.
bool Shown(const QWidget* widget, const QWidget* window)
{
    for (; widget && widget != window; widget = widget->parentWidget())
        if (widget->isHidden() && !qobject_cast<const QStackedWidget*>(widget->parentWidget()))
            return false;
    return true;
}

bool Informative(const QWidget* widget)
{
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return !label->text().isEmpty() || !label->pixmap().isNull();
    return qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget) ||
           qobject_cast<const QProgressBar*>(widget) || qobject_cast<const QAbstractItemView*>(widget) ||
           qobject_cast<const QLineEdit*>(widget);
}

// A widget that hands its focus on (a page control to its tab row) is
// passed over: the reader meets the other one.
bool Focusable(const QWidget* widget)
{
    return widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy();
}

// The widgets a screen reader would have to guess at.
QStringList Nameless(QWidget& window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return {"the window did not come up"};
    QStringList nameless;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (!Shown(widget, &window) || !(Informative(widget) || Focusable(widget)))
            continue;
        // Viewports and scroll bars belong to their box, which is named.
        if (qobject_cast<QAbstractScrollArea*>(widget->parentWidget()) ||
            (widget->parentWidget() && qobject_cast<QAbstractScrollArea*>(widget->parentWidget()->parentWidget())))
            continue;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        if (!face || face->text(QAccessible::Name).trimmed().isEmpty())
            nameless << QString("%1 (%2)").arg(widget->objectName(), widget->metaObject()->className());
    }
    return nameless;
}

QStringList NamelessInPrompt(const std::function<void(TQtUnRarPrompts&)>& ask)
{
    QStringList nameless;
    TQtUnRarPrompts::SetDialogHook([&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            nameless = Nameless(dialog);
            dialog.reject();
        });
    });
    TQtUnRarPrompts prompts;
    ask(prompts);
    TQtUnRarPrompts::SetDialogHook({});
    return nameless;
}

QStringList NamelessLauncher(int language)
{
    LauncherSandbox sandbox;
    LauncherSandbox::WriteSettings(sandbox.MachineFile(), "Installer%20Language=" + QByteArray::number(language));
    TfrmConfig window;
    return Nameless(window);
}

}  // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void everyWidgetHasAName_data()
    {
        QTest::addColumn<int>("unused");
        for (const char* name :
             {"launcher, English", "launcher, German", "launcher, Russian picture", "extraction window",
              "overwrite prompt", "status window", "password prompt", "next-volume prompt"})
            QTest::newRow(name) << 0;
    }

    void everyWidgetHasAName()
    {
        const QString row = QString::fromLatin1(QTest::currentDataTag());
        QStringList nameless;
        if (row == "launcher, English")
            nameless = NamelessLauncher(1033);
        else if (row == "launcher, German")
            nameless = NamelessLauncher(1031);
        else if (row == "launcher, Russian picture")
            nameless = NamelessLauncher(1049);
        else if (row == "extraction window") {
            QTemporaryDir program;
            platform::SetProgramFolder(program.path().toStdString() + "/");
            TfrmMain window(std::string{});
            window.findChild<QTimer*>("Timer1")->stop();
            nameless = Nameless(window);
            platform::SetProgramFolder({});
        } else if (row == "overwrite prompt") {
            TfrmOverWrite dialog;
            dialog.SetFileName("Projekte/Bericht.docx");
            nameless = Nameless(dialog);
        } else if (row == "status window") {
            TfrmStatus dialog;
            dialog.SetLines({"Brambold: Process File"});
            nameless = Nameless(dialog);
        } else if (row == "password prompt") {
            nameless = NamelessInPrompt([](TQtUnRarPrompts& p) { p.AskPassword("secret", {}); });
        } else if (row == "next-volume prompt") {
            nameless = NamelessInPrompt([](TQtUnRarPrompts& p) {
                std::string name;
                p.AskNextVolume("/home/user/archive.part2.rar", name);
            });
        }
        QVERIFY2(nameless.isEmpty(), qPrintable("no accessible name: " + nameless.join(", ")));
    }

    // Read as words, not letter by letter.
    void spacedHeadingSaysItsPlainText_data()
    {
        QTest::addColumn<int>("language");
        QTest::newRow("English") << 1033;
        QTest::newRow("German") << 1031;
    }

    void spacedHeadingSaysItsPlainText()
    {
        QFETCH(int, language);
        LauncherSandbox sandbox;
        LauncherSandbox::WriteSettings(sandbox.MachineFile(), "Installer%20Language=" + QByteArray::number(language));
        TfrmConfig window;
        QWidget* heading = window.findChild<QWidget*>("StaticText2");
        QCOMPARE(QAccessible::queryAccessibleInterface(heading)->text(QAccessible::Name),
                 QString("Brambold Free Unrar 2.54"));
    }
};

QTEST_MAIN(TestAccessibility)
#include "accessibility_test.moc"
