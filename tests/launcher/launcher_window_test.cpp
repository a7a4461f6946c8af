#include "launcher/TfrmConfig.h"
#include "launcher_test_support.h"

#include <QDesktopServices>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <sys/stat.h>

namespace {

const QStringList EnglishLines = {
    "To unrar a file choose one of the three following methods... ",
    "--> drag 'n' drop the compressed file on the Brambold picture above",
    "--> right-click the compressed file and choose 'Brambold!' in the context menu",
    "--> double-click the compressed file",
};

const QStringList GermanLines = {
    "Zum Entpacken einer RAR-Datei wählen Sie eine der folgenden Methoden:",
    "--> Ziehen Sie die Datei auf das Brambold-Bild über dieser Anleitung",
    "--> Öffnen Sie das Kontext-Menü der Datei und wählen Sie \"Brambold!\"",
    "--> Doppelklicken Sie die RAR-Datei",
};

const QString InitialHelp = "Error: The core help file is missing.\n\nPlease reinstall.";

QStringList MemoLines(const TfrmConfig& window)
{
    return window.findChild<QTextEdit*>("Memo2")->toPlainText().split('\n');
}

QString HelpText(const TfrmConfig& window)
{
    return window.findChild<QTextBrowser*>("RichEdit1")->toPlainText();
}

QByteArray LanguageLine(const QByteArray& value)
{
    return "Installer%20Language=" + value;
}

// Collects what the window hands to the desktop.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    UrlRecorder()
    {
        for (const char* scheme : {"https", "http", "file"})
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlRecorder() override
    {
        for (const char* scheme : {"https", "http", "file"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

void Click(TfrmConfig& window, const QString& control)
{
    QWidget* widget = window.findChild<QWidget*>(control);
    QVERIFY2(widget, qPrintable(control));
    if (auto* button = qobject_cast<QPushButton*>(widget))
        button->click();
    else
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

}  // namespace

class TestLauncherWindow : public QObject {
    Q_OBJECT

private slots:
    void windowLayout();
    void everyLanguageIdentifier_data();
    void everyLanguageIdentifier();
    void registryLookup_data();
    void registryLookup();
    void failedWriteBackStillAppliesTheLanguage();
    void captions_data();
    void captions();
    void helpText_data();
    void helpText();
    void links_data();
    void links();
    void licenseIsFoundBesideTheProgram();
    void helpFileThatIsAPipeIsAReadError();
    void errorBoxShowsPlainText();
    void tabsFitInOneRow_data();
    void tabsFitInOneRow();
    void keyboardReachesAndOpensEveryTarget();
    void tabsWrapTheApplicationsOwnStyle();
};

void TestLauncherWindow::windowLayout()
{
    LauncherSandbox sandbox;
    TfrmConfig window;
    QCOMPARE(window.windowTitle(), QString("Brambold Free Unrar"));
    QCOMPARE(window.size(), QSize(513, 363));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QVERIFY(window.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(window.font().pointSize(), 8);
    QVERIFY(window.acceptDrops());

    auto* pages = window.findChild<QTabWidget*>("PageControl1");
    QCOMPARE(pages->geometry(), QRect(5, 5, 502, 354));
    QCOMPARE(pages->currentIndex(), 0);
    const QStringList names = {"t3", "t1", "TabSheet1", "TabSheet2", "TabSheet3", "TabSheet4"};
    const QStringList captions = {"Brambold Free Unrar", "About", "Gifts", "Gratitude", "Appreciation", "Help"};
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(pages->widget(i)->objectName(), names[i]);
        QCOMPARE(pages->tabText(i), captions[i]);
    }

    auto* memo = window.findChild<QTextEdit*>("Memo2");
    QCOMPARE(memo->geometry(), QRect(5, 256, 484, 60));
    QVERIFY(memo->isReadOnly());
    QCOMPARE(MemoLines(window), EnglishLines);
    for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next())
        QCOMPARE(block.blockFormat().alignment(), Qt::AlignHCenter);
    QCOMPARE(window.findChild<QLabel*>("LanguageImage")->geometry(), QRect(5, 256, 484, 60));
    QCOMPARE(window.findChild<QLabel*>("StaticText2")->text(),
             QString("B r a m b o l d   F r e e   U n r a r   2 . 5 4"));

    auto* help = window.findChild<QTextBrowser*>("RichEdit1");
    QCOMPARE(help->geometry(), QRect(16, 24, 461, 249));
    QVERIFY(help->isReadOnly());
    QCOMPARE(help->toPlainText(), InitialHelp);

    QCOMPARE(window.findChild<QLabel*>("LanguageImage")->pixmap().size(), QSize(484, 63));
    // A launcher kept hidden beside an extraction window decodes no page's
    // picture; they come with the first showing.
    QVERIFY(window.findChild<QLabel*>("Image2")->pixmap().isNull());
    window.show();
    QVERIFY(!window.findChild<QLabel*>("Image2")->pixmap().isNull());
    QVERIFY(sandbox.Errors().isEmpty());
}

// Each identifier of the language table, with what the window must show.
// clang-format off
void TestLauncherWindow::everyLanguageIdentifier_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("holder");     // picture rows: the holder whose picture is shown
    QTest::addColumn<QString>("firstLine");  // text rows: line 0 of the instruction

    const auto text = [](int id, const char* language, const char* line) {
        QTest::addRow("%d %s text", id, language) << id << QString() << QString(line);
    };
    const auto picture = [](int id, const char* language, const char* holder) {
        QTest::addRow("%d %s picture", id, language) << id << QString(holder) << QString();
    };
    const char* english = "To unrar a file choose one of the three following methods... ";
    const char* spanish = "Para descomprimir un archivo elija uno de los siguientes tres métodos:";
    const char* norwegian = "Velg en av følgende metoder for å pakke ut et arkiv:";
    const char* portuguese = "Para descomprimir un ficheiro escolha um dos seguintes três métodos:";
    const char* german = "Zum Entpacken einer RAR-Datei wählen Sie eine der folgenden Methoden:";

    text(15, "Icelandic", "Velja aðferð til þykkni þinn skrá:");
    picture(1025, "Arabic", "LanguageImage");
    picture(1026, "Bulgarian", "LanguageImageBulgarian");
    text(1027, "Catalan", "Per obrir un arxiu, trieu un dels tres mètodes següents:");
    picture(1028, "Chinese Traditional", "LanguageImageChineseTrad");
    picture(1029, "Czech", "LanguageImageCzech");
    text(1030, "Danish", "Vælg en af følgende metoder for at pakke en RAR-fil ud:");
    text(1031, "German", german);
    picture(1032, "Greek", "LanguageImageGreek");
    text(1033, "English", english);
    text(1034, "Spanish", spanish);
    text(1035, "Finnish", "Valitse jokin kolmesta tavasta purkaaksesi RAR-tiedosto:");
    text(1036, "French", "Pour décomprimer un fichier-RAR choisissez une méthode parmi les méthodes suivantes:");
    picture(1037, "Hebrew", "LanguageImageHebrew");
    text(1038, "Hungarian", "Kicsomagoláshoz válaszd a három lehetőség egyikét:");
    text(1039, "without a row keeps English", english);
    text(1040, "Italian", "Per decomprimere un file in formato .rar scelga uno dei seguenti metodi:");
    picture(1041, "Japanese", "LanguageImageJapanese");
    picture(1042, "Korean", "LanguageImageKorean");
    text(1043, "Dutch", "Om een RAR-bestand te ontpakken kies een van de volgende methoden:");
    text(1044, "Norwegian Bokmal", norwegian);
    text(1045, "Polish", "Zeby odpakowac RAR plik wybierz jedna z nastepujacych metod:");
    text(1046, "Portuguese Brazil", portuguese);
    text(1048, "Romanian", "Pentru a decomprima un fisier, folositi una dintre urmatoarele trei metode:");
    picture(1049, "Russian", "LanguageImageRussian");
    picture(1050, "Croatian", "LanguageImageBosnianCroatianSerbian");
    picture(1051, "Slovak", "LanguageImageSlovak");
    text(1052, "Albanian", "Per te unrar nje skedar zgjidhni nje nga tre menyrat e meposhtme...");
    text(1053, "Swedish", "För att öppna en RAR-fil använd en av följande metoder:");
    picture(1054, "Thai", "LanguageImageThai");
    picture(1055, "Turkish", "LanguageImageTurkish");
    text(1057, "Indonesian", "Ada tiga cara untuk sari berkas:");
    picture(1058, "Ukrainian", "LanguageImageUkrainian");
    picture(1059, "Belarusian", "LanguageImageBelarusian");
    picture(1060, "Slovenian", "LanguageImageSlovenian");
    text(1061, "Estonian", "Faili avamiseks vali üks kolmest alljärgnevast meetodist:");
    picture(1062, "Latvian", "LanguageImageLatvian");
    picture(1063, "Lithuanian", "LanguageImageLithuanian");
    picture(1065, "Farsi", "LanguageImageFarsi");
    text(1069, "Basque shows Spanish", spanish);
    text(1071, "Macedonian", "Za da go unrar izberete eden od trite metodi:");
    text(1078, "Afrikaans", "Om jou in staat te stel om n vouer te open kies een van die volgende drie metodes:");
    text(1086, "Malay", "Sila memilih satu daripada tiga jalan untuk memetik arkib:");
    text(1091, "Uzbek", "Och- rar egow sayla bir josin:");
    picture(1104, "Mongolian", "LanguageImageMongolian");
    text(1110, "Galician", "Para abrir un arquivo elixir un dos tres métodos seguintes:");
    text(1150, "Breton keeps English", english);
    text(1160, "Welsh", "Mae 'n dri ffyrdd at dynnu ffeil:");
    picture(2052, "Chinese Simplified", "LanguageImageChineseSimp");
    text(2068, "Norwegian Nynorsk", norwegian);
    text(2070, "Portuguese Portugal", portuguese);
    picture(2074, "Serbian Latin", "LanguageImageBosnianCroatianSerbian");
    text(2108, "Irish keeps English", english);
    text(3082, "Spanish modern sort", spanish);
    picture(3098, "Serbian Cyrillic", "LanguageImageSerbian");
    text(4103, "German Luxembourg", german);
    picture(5146, "Bosnian", "LanguageImageBosnianCroatianSerbian");
    text(9998, "Esperanto", "Malfermi dosieron elekti unu el la tri sekv metodoj:");
    picture(9999, "Kurdish", "LanguageImageKurdish");
}
// clang-format on

void TestLauncherWindow::everyLanguageIdentifier()
{
    QFETCH(int, id);
    QFETCH(QString, holder);
    QFETCH(QString, firstLine);
    LauncherSandbox sandbox;
    LauncherSandbox::WriteSettings(sandbox.MachineFile(), LanguageLine(QByteArray::number(id)));
    TfrmConfig window;
    QCOMPARE(window.LanguageId(), id);

    auto* memo = window.findChild<QTextEdit*>("Memo2");
    auto* image = window.findChild<QLabel*>("LanguageImage");
    if (holder.isEmpty()) {
        QVERIFY(!memo->isHidden());
        QCOMPARE(MemoLines(window).size(), 4);
        QCOMPARE(MemoLines(window).first(), firstLine);
        QVERIFY2(memo->document()->idealWidth() <= memo->width(), "a line is cut off");
        QCOMPARE(image->y(), 256);
    } else {
        QVERIFY(memo->isHidden());
        QVERIFY(!image->isHidden());
        const int expectedTop = holder == "LanguageImage" ? 256 : 253;
        QCOMPARE(image->y(), expectedTop);
        if (holder != "LanguageImage") {
            auto* source = window.findChild<QLabel*>(holder);
            QVERIFY(source->isHidden());
            QVERIFY(!source->pixmap().isNull());
            QCOMPARE(image->pixmap().cacheKey(), source->pixmap().cacheKey());
        }
        QCOMPARE(image->pixmap().size(), QSize(484, 63));
    }
    QVERIFY(sandbox.Errors().isEmpty());
}

// clang-format off
void TestLauncherWindow::registryLookup_data()
{
    QTest::addColumn<QByteArray>("machine");  // line of the machine-wide file, empty: no file
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("machineAfter");  // expected machine-wide value line, empty: none

    const QByteArray none;
    QTest::newRow("no value anywhere: English, nothing written") << none << none << 1033 << "" << none;
    QTest::newRow("machine-wide German wins over the user's Russian")
        << LanguageLine("1031") << LanguageLine("1049") << 1031 << "" << LanguageLine("1031");
    QTest::newRow("the user's Russian is copied machine-wide")
        << none << LanguageLine("1049") << 1049 << "" << LanguageLine("1049");
    QTest::newRow("the user's English is not copied") << none << LanguageLine("1033") << 1033 << "" << none;
    QTest::newRow("the user's identifier without a row is still copied")
        << none << LanguageLine("1039") << 1039 << "" << LanguageLine("1039");
    QTest::newRow("the user's zero is copied") << none << LanguageLine("0") << 0 << "" << LanguageLine("0");
    QTest::newRow("a plus sign is accepted") << LanguageLine("+1031") << none << 1031 << "" << LanguageLine("+1031");
    QTest::newRow("letters are no integer")
        << LanguageLine("abc") << none << 1033 << "'abc' ist kein gültiger Integerwert" << LanguageLine("abc");
    QTest::newRow("the empty text is no integer")
        << LanguageLine("") << none << 1033 << "'' ist kein gültiger Integerwert" << LanguageLine("");
    QTest::newRow("a leading blank is no integer")
        << LanguageLine("\" 1031\"") << none << 1033 << "' 1031' ist kein gültiger Integerwert"
        << LanguageLine("\" 1031\"");
    QTest::newRow("a number beyond 32 bits is no integer")
        << LanguageLine("2147483648") << none << 1033 << "'2147483648' ist kein gültiger Integerwert"
        << LanguageLine("2147483648");
    QTest::newRow("the user's bad text is reported and not copied")
        << none << LanguageLine("abc") << 1033 << "'abc' ist kein gültiger Integerwert" << none;
    QTest::newRow("a list of texts is not text")
        << LanguageLine("1031, 1049") << none << 1033 << "Ungültiger Datentyp für 'Installer Language'"
        << LanguageLine("1031, 1049");
    QTest::newRow("binary data is not text")
        << none << LanguageLine("@ByteArray(1031)") << 1033 << "Ungültiger Datentyp für 'Installer Language'"
        << none;
}
// clang-format on

void TestLauncherWindow::registryLookup()
{
    QFETCH(QByteArray, machine);
    QFETCH(QByteArray, user);
    QFETCH(int, language);
    QFETCH(QString, error);
    QFETCH(QByteArray, machineAfter);
    LauncherSandbox sandbox;
    if (!machine.isNull())
        LauncherSandbox::WriteSettings(sandbox.MachineFile(), machine);
    if (!user.isNull())
        LauncherSandbox::WriteSettings(sandbox.UserFile(), user);

    TfrmConfig window;

    QCOMPARE(window.LanguageId(), language);
    QCOMPARE(sandbox.Errors(), error.isEmpty() ? QStringList() : QStringList{error});
    if (!error.isEmpty())
        QCOMPARE(MemoLines(window), EnglishLines);
    const QByteArray machineFile = LauncherSandbox::ReadFile(sandbox.MachineFile());
    if (machineAfter.isNull())
        QVERIFY(!machineFile.contains("Installer%20Language"));
    else
        QVERIFY2(machineFile.contains(machineAfter + '\n'), machineFile.constData());
    // The user's value is only ever read.
    QCOMPARE(LauncherSandbox::ReadFile(sandbox.UserFile()).isEmpty(), user.isNull());
}

void TestLauncherWindow::failedWriteBackStillAppliesTheLanguage()
{
    LauncherSandbox sandbox;
    // The machine-wide folder cannot be made: a plain file is in its way.
    QFile blocker(sandbox.Path("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, sandbox.Path("blocker/machine"));
    LauncherSandbox::WriteSettings(sandbox.UserFile(), LanguageLine("1031"));

    TfrmConfig window;

    QVERIFY(sandbox.Errors().isEmpty());
    QCOMPARE(window.LanguageId(), 1031);
    QCOMPARE(MemoLines(window), GermanLines);
    QCOMPARE(window.findChild<QPushButton*>("Button19")->text(), QString("Spenden..."));
}

// clang-format off
void TestLauncherWindow::captions_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("german");
    QTest::newRow("Button2 licence") << "Button2" << "License..." << "Lizenz...";
    QTest::newRow("Button19 donate") << "Button19" << "Donate..." << "Spenden...";
    QTest::newRow("Button3 e-book details") << "Button3" << "Show details..." << "Details anzeigen...";
    QTest::newRow("Button6 project details") << "Button6" << "Show details..." << "Details anzeigen...";
    QTest::newRow("Button9 screensaver details") << "Button9" << "Show details..." << "Details anzeigen...";
    QTest::newRow("Button4 read e-book") << "Button4" << "Read e-book..." << "E-Book lesen...";
    QTest::newRow("Button5 more e-books") << "Button5" << "More e-books..." << "Mehr E-Books...";
    QTest::newRow("Button10 download screensaver") << "Button10" << "Download screensaver..."
                                                   << "Download Screensaver...";
    QTest::newRow("Button11 more screensavers") << "Button11" << "More screensavers..." << "Mehr Screensaver...";
    QTest::newRow("Button7 visit website") << "Button7" << "Visit website..." << "Website besuchen...";
    QTest::newRow("Button8 more gifts") << "Button8" << "More gifts..." << "Weitere Geschenke...";
    QTest::newRow("Button15 free e-book") << "Button15" << "Read free eBook now..." << "E-Book jetzt gratis lesen...";
    QTest::newRow("TabSheet1 gifts") << "TabSheet1" << "Gifts" << "Geschenke";
    QTest::newRow("TabSheet2 gratitude") << "TabSheet2" << "Gratitude" << "Dankbarkeit";
    QTest::newRow("TabSheet3 appreciation") << "TabSheet3" << "Appreciation" << "Wertschätzung";
    QTest::newRow("TabSheet4 help") << "TabSheet4" << "Help" << "Hilfe";
    QTest::newRow("StaticText3 e-book title") << "StaticText3" << "The Quiet Archive" << "Das stille Archiv";
    QTest::newRow("StaticText9 offer") << "StaticText9" << "free for you!" << "gratis für Sie!";
    QTest::newRow("t3 unchanged") << "t3" << "Brambold Free Unrar" << "Brambold Free Unrar";
    QTest::newRow("t1 unchanged") << "t1" << "About" << "About";
    QTest::newRow("Button17 unchanged") << "Button17" << "Update..." << "Update...";
    QTest::newRow("Button12 unchanged") << "Button12" << "Brambold FAQ..." << "Brambold FAQ...";
    QTest::newRow("Button13 unchanged") << "Button13" << "Brambold Website..." << "Brambold Website...";
    QTest::newRow("Button14 unchanged") << "Button14" << "Brambold Video..." << "Brambold Video...";
    QTest::newRow("Button16 unchanged") << "Button16" << "Download Wallpaper..." << "Download Wallpaper...";
}
// clang-format on

void TestLauncherWindow::captions()
{
    QFETCH(QString, control);
    QFETCH(QString, english);
    QFETCH(QString, german);
    const auto caption = [&](const TfrmConfig& window) {
        QWidget* widget = window.findChild<QWidget*>(control);
        auto* pages = window.findChild<QTabWidget*>("PageControl1");
        if (pages->indexOf(widget) >= 0)
            return pages->tabText(pages->indexOf(widget));
        if (auto* button = qobject_cast<QPushButton*>(widget))
            return button->text();
        return qobject_cast<QLabel*>(widget)->text();
    };
    for (const int id : {1033, 1031, 4103}) {
        LauncherSandbox sandbox;
        LauncherSandbox::WriteSettings(sandbox.MachineFile(), LanguageLine(QByteArray::number(id)));
        TfrmConfig window;
        QCOMPARE(caption(window), id == 1033 ? english : german);
    }
}

// clang-format off
void TestLauncherWindow::helpText_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QByteArray>("englishFile");  // empty: no such file
    QTest::addColumn<QByteArray>("germanFile");
    QTest::addColumn<QString>("shown");

    const QByteArray en = "{\\rtf1\\ansi English {\\b help}\\par second}";
    const QByteArray de = "{\\rtf1\\ansi Deutsche {\\b Hilfe} f\\'fcr alle}";
    const QByteArray none;
    QTest::newRow("no help file keeps the initial lines") << 1033 << none << none << InitialHelp;
    QTest::newRow("English help as RTF") << 1033 << en << de << "English help\nsecond";
    QTest::newRow("help that is not RTF shows as plain text")
        << 1033 << QByteArray("plain {\\b words}\n") << none << "plain {\\b words}\n";
    QTest::newRow("German replaces the English help") << 1031 << en << de << "Deutsche Hilfe für alle";
    QTest::newRow("German help without the English one") << 4103 << none << de << "Deutsche Hilfe für alle";
    QTest::newRow("German without its help keeps the English help") << 1031 << en << none << "English help\nsecond";
    QTest::newRow("German without any help keeps the initial lines") << 1031 << none << none << InitialHelp;
}
// clang-format on

void TestLauncherWindow::helpText()
{
    QFETCH(int, language);
    QFETCH(QByteArray, englishFile);
    QFETCH(QByteArray, germanFile);
    QFETCH(QString, shown);
    LauncherSandbox sandbox;
    LauncherSandbox::WriteSettings(sandbox.MachineFile(), LanguageLine(QByteArray::number(language)));
    if (!englishFile.isNull())
        sandbox.WriteProgramFile("CoreHelpEN.dat", englishFile);
    if (!germanFile.isNull())
        sandbox.WriteProgramFile("CoreHelpDE.dat", germanFile);
    // Folders of those names are no help files.
    if (englishFile.isNull())
        QDir(sandbox.ProgramFolder()).mkdir("CoreHelpEN.dat");
    TfrmConfig window;
    QCOMPARE(HelpText(window), shown);
    QVERIFY(sandbox.Errors().isEmpty());
    if (language != 1033)
        QCOMPARE(MemoLines(window), GermanLines);
}

// A pipe would block the open until a writer came, before any window shows.
void TestLauncherWindow::helpFileThatIsAPipeIsAReadError()
{
    LauncherSandbox sandbox;
    QVERIFY(mkfifo(QFile::encodeName(sandbox.ProgramFolder() + "CoreHelpEN.dat").constData(), 0644) == 0);
    TfrmConfig window;
    QCOMPARE(sandbox.Errors().size(), 1);
    QVERIFY2(sandbox.Errors().first().contains("CoreHelpEN.dat"), qPrintable(sandbox.Errors().first()));
    QCOMPARE(HelpText(window), InitialHelp);
}

// The real box: a setting is quoted as it stands, never read as markup.
void TestLauncherWindow::errorBoxShowsPlainText()
{
    LauncherSandbox sandbox;
    platform::SetErrorBoxHandler({});
    LauncherSandbox::WriteSettings(sandbox.MachineFile(), LanguageLine("<b>12</b>"));
    Qt::TextFormat format = Qt::AutoText;
    QString text;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            format = box->textFormat();
            text = box->text();
            box->accept();
        }
    });
    TfrmConfig window;
    QCOMPARE(text, QString("'<b>12</b>' ist kein gültiger Integerwert"));
    QCOMPARE(format, Qt::PlainText);
}

// clang-format off
void TestLauncherWindow::links_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("url");

    const QString en = "https://www.tessmark.example";
    const QString de = "https://www.tessmark-de.example";
    const QString video = "https://www.youtube.com/watch?v=Br4mb0ld254";
    const QString artist = "https://www.ilka-brand.example";

    QTest::newRow("English update page") << 1033 << "Button17" << en + "/software/brambold_free_unrar_update.php?UID=254";
    QTest::newRow("German update page") << 1031 << "Button17"
                                        << de + "/software/brambold_free_unrar_update_deutsch.php?UID=254";
    QTest::newRow("English donate") << 1033 << "Button19" << en + "/gratitude.php";
    QTest::newRow("English gratitude picture, same page") << 1033 << "Image11" << en + "/gratitude.php";
    QTest::newRow("German donate") << 1031 << "Button19" << de + "/dankbarkeit.php?SID=10";
    QTest::newRow("German gratitude picture, same page") << 1031 << "Image11" << de + "/dankbarkeit.php?SID=10";
    for (const char* control : {"StaticText2", "Image10", "Button13"}) {
        QTest::addRow("English program page from %s", control)
            << 1033 << control << en + "/software/brambold_free_unrar.php";
        QTest::addRow("German program page from %s", control)
            << 4103 << control << de + "/software/brambold_free_unrar_deutsch.php";
    }
    QTest::newRow("English FAQ") << 1033 << "Button12" << en + "/software/brambold_free_unrar_faq.php";
    QTest::newRow("German FAQ") << 1031 << "Button12" << de + "/software/brambold_free_unrar_faq_deutsch.php";
    QTest::newRow("English maker") << 1033 << "StaticText5" << en;
    QTest::newRow("German maker") << 1031 << "StaticText5" << de;
    QTest::newRow("video for every language") << 1031 << "Button14" << video;
    QTest::newRow("artist for every language") << 1031 << "StaticText1" << artist;
    for (const char* control : {"Image4", "Button3", "StaticText3", "StaticText4", "StaticText6"})
        QTest::addRow("e-book column %s opens the e-book page", control)
            << 1033 << control << en + "/ebooks/the_quiet_archive.php";
    for (const char* control : {"Image5", "Button9", "StaticText7", "StaticText8", "StaticText9"})
        QTest::addRow("screensaver column %s opens its page", control)
            << 1033 << control << en + "/screensavers/aquarium_wallpapers.php";
    for (const char* control : {"Image3", "Button6", "StaticText10", "StaticText11", "StaticText12", "Button7"})
        QTest::addRow("project column %s opens the project", control)
            << 1033 << control << "https://www.photo-days.example";
    QTest::newRow("German e-book") << 1031 << "Button4" << de + "/ebooks/das_stille_archiv.pdf";
    QTest::newRow("German book") << 1031 << "Button15" << de + "/buecher/freundliche_worte.pdf";
    QTest::newRow("wallpaper") << 1033 << "Button16" << en + "/wallpapers/gratitude_1600x1200.jpg";
}
// clang-format on

void TestLauncherWindow::links()
{
    QFETCH(int, language);
    QFETCH(QString, control);
    QFETCH(QString, url);
    LauncherSandbox sandbox;
    LauncherSandbox::WriteSettings(sandbox.MachineFile(), LanguageLine(QByteArray::number(language)));
    TfrmConfig window;
    UrlRecorder recorder;
    Click(window, control);
    QCOMPARE(recorder.opened, QList<QUrl>{QUrl(url)});
}

void TestLauncherWindow::licenseIsFoundBesideTheProgram()
{
    LauncherSandbox sandbox;
    QDir().mkpath(sandbox.Path("elsewhere"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(sandbox.Path("elsewhere"));
    for (const int id : {1033, 1031}) {
        LauncherSandbox::WriteSettings(sandbox.MachineFile(), LanguageLine(QByteArray::number(id)));
        TfrmConfig window;
        UrlRecorder recorder;
        Click(window, "Button2");
        QCOMPARE(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(sandbox.ProgramFolder() + "License.txt")});
    }
    QDir::setCurrent(previous);
}

// clang-format off
void TestLauncherWindow::tabsFitInOneRow_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("name");
    QTest::newRow("English") << 1033 << "english";
    QTest::newRow("German, the longest captions") << 1031 << "german";
    QTest::newRow("Russian picture") << 1049 << "russian";
    QTest::newRow("Arabic picture") << 1025 << "arabic";
    QTest::newRow("Japanese picture") << 1041 << "japanese";
}
// clang-format on

// The tab bar cannot wrap into rows: all six captions must fit beside each
// other, or the bar hides pages behind scroll arrows.
// BRAMBOLD_SCREENSHOTS=<folder> also saves each window as <folder>/launcher-<name>.png.
void TestLauncherWindow::tabsFitInOneRow()
{
    QFETCH(int, language);
    QFETCH(QString, name);
    LauncherSandbox sandbox;
    LauncherSandbox::WriteSettings(sandbox.MachineFile(), LanguageLine(QByteArray::number(language)));
    TfrmConfig window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto* pages = window.findChild<QTabWidget*>("PageControl1");
    int width = 0;
    for (int i = 0; i < pages->count(); ++i)
        width += pages->tabBar()->tabRect(i).width();
    QVERIFY2(width <= pages->width(), qPrintable(QString("the tabs need %1 px").arg(width)));
    if (const QString folder = qEnvironmentVariable("BRAMBOLD_SCREENSHOTS"); !folder.isEmpty())
        QVERIFY(window.grab().save(folder + "/launcher-" + name + ".png"));
}

// Tab reaches the About page's three links; Return opens them. Return and
// Enter press the focused button.
void TestLauncherWindow::keyboardReachesAndOpensEveryTarget()
{
    LauncherSandbox sandbox;
    TfrmConfig window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    auto* pages = window.findChild<QTabWidget*>("PageControl1");
    pages->setCurrentIndex(1);
    pages->tabBar()->setFocus();
    QStringList reached;
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached << QApplication::focusWidget()->objectName();
    }
    for (const char* link : {"StaticText2", "StaticText1", "StaticText5", "Button2", "Button17", "Button19"})
        QVERIFY2(reached.contains(link), qPrintable(reached.join(' ')));

    const struct {
        const char* control;
        Qt::Key key;
        QString url;
    } rows[] = {
        {"StaticText2", Qt::Key_Return, window.Links().FProgramHomeUrl},
        {"StaticText5", Qt::Key_Enter, window.Links().FMakerHomeUrl},
        {"StaticText1", Qt::Key_Return, QString::fromUtf8(ArtistSiteUrl)},
        {"Button17", Qt::Key_Return, window.Links().FUpdateUrl},
        {"Button19", Qt::Key_Enter, window.Links().FDonateUrl},
    };
    for (const auto& row : rows) {
        UrlRecorder recorder;
        QWidget* control = window.findChild<QWidget*>(row.control);
        control->setFocus();
        QTest::keyClick(control, row.key);
        QCOMPARE(recorder.opened, QList<QUrl>{QUrl(row.url)});
    }
    pages->setCurrentIndex(5);
    UrlRecorder recorder;
    auto* faq = window.findChild<QPushButton*>("Button12");
    faq->setFocus();
    QTest::keyClick(faq, Qt::Key_Return);
    QCOMPARE(recorder.opened, QList<QUrl>{QUrl(window.Links().FFaqUrl)});
}

// A style the factory cannot build again from its name, with wide tab
// margins: the narrow tabs must still wrap it, so each caption is laid out in
// the margins its tab was sized for.
void TestLauncherWindow::tabsWrapTheApplicationsOwnStyle()
{
    class WideTabs : public QProxyStyle {
    public:
        WideTabs() : QProxyStyle(QStyleFactory::create("fusion")) {}
        int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
        {
            const int value = QProxyStyle::pixelMetric(metric, option, widget);
            return metric == PM_TabBarTabHSpace ? 30 : value;
        }
    };
    QStyle* previous = QStyleFactory::create(QApplication::style()->name());
    QApplication::setStyle(new WideTabs);
    {
        LauncherSandbox sandbox;
        TfrmConfig window;
        QTabBar* bar = window.findChild<QTabWidget*>("PageControl1")->tabBar();
        QCOMPARE(bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar), 20);
        // The application's style lays the caption out through the same proxy.
        QCOMPARE(QApplication::style()->proxy(), bar->style());
    }
    QApplication::setStyle(previous);
}

QTEST_MAIN(TestLauncherWindow)
#include "launcher_window_test.moc"
