// The Qt prompts, driven offscreen.
#include <QDialog>
#include <QLabel>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QtTest>

#include "archive/QtUnRarPrompts.h"

class PromptsTest : public QObject {
    Q_OBJECT

private:
    // Runs `answer` on the dialog once its loop runs; `look` sees it before.
    static void Arm(std::function<void(QDialog&)> look, std::function<void(QDialog&, QLineEdit&)> answer)
    {
        TQtUnRarPrompts::SetDialogHook([look, answer](QDialog& dialog) {
            look(dialog);
            QTimer::singleShot(0, &dialog, [&dialog, answer] { answer(dialog, *dialog.findChild<QLineEdit*>()); });
        });
    }

private slots:
    void cleanup() { TQtUnRarPrompts::SetDialogHook({}); }

    void passwordDialogLayout()
    {
        QString title;
        QSize size;
        QRect edit, ok, cancel;
        int maxLength = 0, mask = 0;
        bool password = false, okDefault = false, centred = false;
        QString prefill;
        QStringList tabOrder;
        Arm(
            [&](QDialog& d) {
                title = d.windowTitle();
                size = d.size();
                auto* e = d.findChild<QLineEdit*>();
                edit = e->geometry();
                maxLength = e->maxLength();
                password = e->echoMode() == QLineEdit::Password;
                mask = e->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, e);
                prefill = e->text();
                auto* b = d.findChild<QPushButton*>("btnOk");
                ok = b->geometry();
                okDefault = b->isDefault();
                for (auto* button : d.findChildren<QPushButton*>())
                    if (button != b)
                        cancel = button->geometry();
                QWidget* w = e;
                for (int i = 0; i < 3; ++i, w = w->nextInFocusChain())
                    tabOrder << (qobject_cast<QPushButton*>(w) ? qobject_cast<QPushButton*>(w)->text() : "edit");
                const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
                centred = (d.geometry().center() - centre).manhattanLength() <= 2;
            },
            [](QDialog& d, QLineEdit&) { d.reject(); });

        TQtUnRarPrompts prompts;
        prompts.AskPassword("from file", {});
        QCOMPARE(title, QString("Protected Archive - Enter Password:"));
        QCOMPARE(size, QSize(268, 69));
        QCOMPARE(edit, QRect(8, 8, 253, 21));
        QCOMPARE(maxLength, 120);
        QVERIFY(password);
        QCOMPARE(mask, int('*'));
        QCOMPARE(prefill, QString("from file"));
        QCOMPARE(ok, QRect(107, 37, 75, 25));
        QCOMPARE(cancel, QRect(187, 37, 75, 25));
        QVERIFY(okDefault);
        QCOMPARE(tabOrder, (QStringList{"edit", "OK", "Cancel"}));
        QVERIFY(centred);
    }

    // The first request keeps the designed window; when the same archive asks
    // again, a line above the field says so and names the archive, and the
    // field and buttons move down under it.
    void passwordAskedAgain_data()
    {
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("note");
        QTest::addColumn<int>("shift");
        QTest::newRow("a first request has no note") << false << "/a/b/x.rar"
                                                     << "" << 0;
        QTest::newRow("a repeat names the archive's file") << true << "/a/b/x.rar"
                                                           << "Wrong password: x.rar" << 21;
        QTest::newRow("a long name loses its middle and stays on the line")
            << true << "/a/" + QString(200, 'n') + "-end.rar"
            << "end.rar" << 21;
    }
    void passwordAskedAgain()
    {
        QFETCH(bool, repeat);
        QFETCH(QString, archive);
        QFETCH(QString, note);
        QFETCH(int, shift);
        QString shown, caption;
        QSize size;
        QRect edit, ok;
        bool fits = true;
        Arm(
            [&](QDialog& d) {
                caption = d.windowTitle();
                size = d.size();
                edit = d.findChild<QLineEdit*>()->geometry();
                ok = d.findChild<QPushButton*>("btnOk")->geometry();
                if (auto* line = d.findChild<QLabel*>("lblNote")) {
                    shown = line->text();
                    fits = line->fontMetrics().horizontalAdvance(shown) <= line->width() &&
                           line->geometry().bottom() < edit.top();
                }
            },
            [](QDialog& d, QLineEdit&) { d.reject(); });
        TQtUnRarPrompts prompts;
        prompts.AskPassword("", {archive.toStdString(), repeat});
        QCOMPARE(caption, QString("Protected Archive - Enter Password:"));
        QCOMPARE(size, QSize(268, 69 + shift));
        QCOMPARE(edit, QRect(8, 8 + shift, 253, 21));
        QCOMPARE(ok, QRect(107, 37 + shift, 75, 25));
        QVERIFY2(note.isEmpty() ? shown.isEmpty() : shown.endsWith(note), qPrintable(shown));
        if (repeat)
            QVERIFY(shown.startsWith("Wrong password: "));
        QVERIFY(fits);
    }

    void passwordHandsOnTheText_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("enter presses OK") << "enter";
        QTest::newRow("cancel hands the typed text on") << "cancel";
        QTest::newRow("the close box hands it on too") << "close";
    }
    void passwordHandsOnTheText()
    {
        QFETCH(QString, how);
        Arm([](QDialog&) {},
            [how](QDialog& d, QLineEdit& e) {
                e.setText(QString(130, QChar(0xFC)));  // longer than the field takes
                if (how == "enter")
                    QTest::keyClick(&e, Qt::Key_Return);
                if (how == "cancel")
                    for (auto* b : d.findChildren<QPushButton*>())
                        if (b->objectName() != "btnOk")
                            b->click();
                if (how == "close")
                    d.close();
            });
        TQtUnRarPrompts prompts;
        QCOMPARE(QString::fromStdString(prompts.AskPassword("", {})), QString(120, QChar(0xFC)));
    }

    void nextVolume_data()
    {
        QTest::addColumn<bool>("clickOk");
        QTest::addColumn<bool>("result");
        QTest::newRow("OK answers true") << true << true;
        QTest::newRow("Cancel answers false with the name") << false << false;
    }
    void nextVolume()
    {
        QFETCH(bool, clickOk);
        QFETCH(bool, result);
        QString title, prefill;
        bool masked = true;
        Arm(
            [&](QDialog& d) {
                title = d.windowTitle();
                prefill = d.findChild<QLineEdit*>()->text();
                masked = d.findChild<QLineEdit*>()->echoMode() != QLineEdit::Normal;
            },
            [clickOk](QDialog& d, QLineEdit& e) {
                e.setText("/v/b.part2.rar");
                for (auto* b : d.findChildren<QPushButton*>())
                    if ((b->objectName() == "btnOk") == clickOk)
                        b->click();
            });
        TQtUnRarPrompts prompts;
        std::string name;
        QCOMPARE(prompts.AskNextVolume("/v/a.part2.rar", name), result);
        QCOMPARE(name, std::string("/v/b.part2.rar"));
        QCOMPARE(title, QString("Next Archive:"));
        QCOMPARE(prefill, QString("/v/a.part2.rar"));
        QVERIFY(!masked);
    }

    // The field's limit is for typing: OK on an unchanged long name must hand
    // back that same name, or the engine takes it for a new one and asks again.
    void longPrefillStaysWhole()
    {
        Arm([](QDialog&) {}, [](QDialog&, QLineEdit& e) { QTest::keyClick(&e, Qt::Key_Return); });
        TQtUnRarPrompts prompts;
        const std::string volume = "/home/user/" + std::string(140, 'v') + ".part2.rar";
        std::string name;
        QVERIFY(prompts.AskNextVolume(volume, name));
        QCOMPARE(name, volume);
        const std::string password(125, 'p');
        QCOMPARE(prompts.AskPassword(password, {}), password);
    }

    void enterPressesTheFocusedButton_data()
    {
        QTest::addColumn<bool>("onCancel");
        QTest::newRow("Enter on Cancel cancels") << true;
        QTest::newRow("Enter in the field is OK") << false;
    }
    void enterPressesTheFocusedButton()
    {
        QFETCH(bool, onCancel);
        Arm([](QDialog&) {},
            [onCancel](QDialog& d, QLineEdit& e) {
                QWidget* target = &e;
                for (auto* b : d.findChildren<QPushButton*>())
                    if (onCancel && b->objectName() != "btnOk")
                        target = b;
                target->setFocus();
                QTest::keyClick(target, Qt::Key_Return);
            });
        TQtUnRarPrompts prompts;
        std::string name;
        QCOMPARE(prompts.AskNextVolume("/v/a.part2.rar", name), !onCancel);
    }
};

QTEST_MAIN(PromptsTest)
#include "prompts_test.moc"
