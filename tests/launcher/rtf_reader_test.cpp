#include "platform/rtf_reader.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

QString Read(const QByteArray& rtf)
{
    QTextDocument document;
    platform::LoadRichOrPlainText(rtf, document);
    // Raw text keeps line separators and no-break spaces apart from paragraphs and blanks.
    return document.toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

// The character format of the first character of `word` in the document.
QTextCharFormat FormatOf(const QTextDocument& document, const QString& word)
{
    const QTextCursor found = document.find(word);
    if (found.isNull())
        return {};
    QTextCursor at(found);
    at.setPosition(found.selectionStart() + 1);
    return at.charFormat();
}

}  // namespace

class TestRtfReader : public QObject {
    Q_OBJECT

private slots:
    void text_data();
    void text();
    void formatting();
    void paragraphAlignmentAndIndents();
    void notRtfIsPlainText_data();
    void notRtfIsPlainText();
    void brokenInputDoesNotCrash_data();
    void brokenInputDoesNotCrash();
    void mangledHelpFilesDoNotCrash();
    void shippedHelpFilesReadAsRtf_data();
    void shippedHelpFilesReadAsRtf();
};

void TestRtfReader::text_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");

    QTest::newRow("paragraphs") << QByteArray("{\\rtf1 one\\par two\\par\r\nthree}") << "one\ntwo\nthree";
    QTest::newRow("line break stays in the paragraph") << QByteArray("{\\rtf1 a\\line b}") << "a\u2028b";
    QTest::newRow("tab") << QByteArray("{\\rtf1 a\\tab b}") << "a\tb";
    QTest::newRow("line ends in the source are not text") << QByteArray("{\\rtf1 a\r\nb\nc}") << "abc";
    QTest::newRow("the blank after a control word is eaten, a second one kept")
        << QByteArray("{\\rtf1\\b  bold}") << " bold";
    QTest::newRow("hex byte in the default code page 1252") << QByteArray("{\\rtf1 B\\'e4r \\'80}") << "Bär €";
    QTest::newRow("hex byte in code page 1250") << QByteArray("{\\rtf1\\ansi\\ansicpg1250 \\'f5 \\'9a}") << "ő š";
    QTest::newRow("unicode with its fallback skipped") << QByteArray("{\\rtf1 \\u8364?5}") << "€5";
    QTest::newRow("unicode with a hex fallback skipped") << QByteArray("{\\rtf1 \\u228\\'e4!}") << "ä!";
    QTest::newRow("uc2 skips two fallback characters") << QByteArray("{\\rtf1\\uc2 \\u8364ab c}") << "€ c";
    QTest::newRow("uc0 skips nothing") << QByteArray("{\\rtf1\\uc0 \\u8364 x}") << "€x";
    QTest::newRow("negative unicode values") << QByteArray("{\\rtf1 \\u-3913?}") << QString(QChar(0xF0B7));
    QTest::newRow("surrogate pair") << QByteArray("{\\rtf1 \\u-10179?\\u-8704?}")
                                    << QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("uc setting ends with its group") << QByteArray("{\\rtf1 {\\uc3 x}\\u8364?y}") << "x€y";
    QTest::newRow("escaped braces and backslash") << QByteArray("{\\rtf1 \\{a\\} \\\\}") << "{a} \\";
    QTest::newRow("special characters") << QByteArray("{\\rtf1 \\ldblquote x\\rdblquote \\emdash \\bullet a\\~b}")
                                        << "\u201Cx\u201D\u2014\u2022a\u00A0b";
    QTest::newRow("font, colour and style tables are not text")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl ;\\red255\\green0\\blue0;}"
                      "{\\stylesheet{\\s0 Normal;}}text}")
        << "text";
    QTest::newRow("document information is not text")
        << QByteArray("{\\rtf1{\\info{\\title T}{\\author A}}body}") << "body";
    QTest::newRow("starred destinations are skipped")
        << QByteArray("{\\rtf1{\\*\\generator Writer 1.0;}x{\\*\\unknown y}z}") << "xz";
    QTest::newRow("pictures are skipped, even with braces in binary data")
        << QByteArray("{\\rtf1 a{\\pict\\pngblip 89504e47}b{\\pict\\bin3 }{}}c}") << "abc";
    QTest::newRow("field result is shown, its instruction not")
        << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}}") << "link";
    QTest::newRow("unknown control words are ignored") << QByteArray("{\\rtf1\\foo12\\bar-3 a\\zz b}") << "ab";
}

void TestRtfReader::text()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(Read(rtf), text);
}

void TestRtfReader::formatting()
{
    QTextDocument document;
    platform::ReadRtf("{\\rtf1{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}"
                      "plain {\\b bold} after {\\i italic} {\\ul under\\ulnone none} "
                      "\\fs40 big\\fs0  \\cf1 red\\cf2 navy\\cf0  auto \\b heavy\\b0 light \\b\\i\\plain reset}",
                      document);
    QVERIFY(FormatOf(document, "bold").fontWeight() == QFont::Bold);
    QVERIFY(FormatOf(document, "after").fontWeight() != QFont::Bold);
    QVERIFY(FormatOf(document, "italic").fontItalic());
    QVERIFY(FormatOf(document, "under").fontUnderline());
    QVERIFY(!FormatOf(document, "none").fontUnderline());
    QCOMPARE(FormatOf(document, "big").fontPointSize(), 20.0);
    QCOMPARE(FormatOf(document, "red").foreground().color(), QColor(255, 0, 0));
    QCOMPARE(FormatOf(document, "navy").foreground().color(), QColor(0, 0, 128));
    QVERIFY(!FormatOf(document, "auto").hasProperty(QTextFormat::ForegroundBrush));
    QVERIFY(FormatOf(document, "heavy").fontWeight() == QFont::Bold);
    QVERIFY(FormatOf(document, "light").fontWeight() != QFont::Bold);
    QVERIFY(FormatOf(document, "reset").fontWeight() != QFont::Bold);
    QVERIFY(!FormatOf(document, "reset").fontItalic());
}

void TestRtfReader::paragraphAlignmentAndIndents()
{
    QTextDocument document;
    platform::ReadRtf("{\\rtf1\\pard\\qc centred\\par\\pard left\\par\\qr right\\par"
                      "\\pard\\li300\\fi-150 indented\\par\\pard plain}",
                      document);
    QCOMPARE(document.findBlockByNumber(0).blockFormat().alignment(), Qt::AlignHCenter);
    QCOMPARE(document.findBlockByNumber(1).blockFormat().alignment(), Qt::AlignLeft);
    QCOMPARE(document.findBlockByNumber(2).blockFormat().alignment(), Qt::AlignRight);
    QCOMPARE(document.findBlockByNumber(3).blockFormat().leftMargin(), 20.0);
    QCOMPARE(document.findBlockByNumber(3).blockFormat().textIndent(), -10.0);
    QCOMPARE(document.findBlockByNumber(4).blockFormat().leftMargin(), 0.0);
    QCOMPARE(document.findBlockByNumber(4).blockFormat().alignment(), Qt::AlignLeft);
}

void TestRtfReader::notRtfIsPlainText_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("text");
    QTest::newRow("UTF-8 text") << QByteArray("B\xC3\xA4r {\\b x}") << "Bär {\\b x}";
    QTest::newRow("8-bit text read as Windows-1252") << QByteArray("B\xE4r \x80") << "Bär €";
    QTest::newRow("rtf after leading blanks is not RTF") << QByteArray(" {\\rtf1 x}") << " {\\rtf1 x}";
    QTest::newRow("empty") << QByteArray() << "";
}

void TestRtfReader::notRtfIsPlainText()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, text);
    QCOMPARE(Read(data), text);
}

void TestRtfReader::brokenInputDoesNotCrash_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("never closed") << QByteArray("{\\rtf1 abc{\\b def") << "abcdef";
    QTest::newRow("closed too often") << QByteArray("{\\rtf1 a}}}b}") << "ab";
    QTest::newRow("ends in a backslash") << QByteArray("{\\rtf1 a\\") << "a";
    QTest::newRow("ends inside a hex byte") << QByteArray("{\\rtf1 a\\'e") << "a";
    QTest::newRow("hex byte with no hex digits") << QByteArray("{\\rtf1 a\\'zzb}") << "ab";
    QTest::newRow("huge numbers") << QByteArray("{\\rtf1\\fs99999999999999\\uc99999999999 \\u99999999999?a\\cf-5 b}")
                                  << QString();  // only "does not crash" matters
    QTest::newRow("binary length past the end") << QByteArray("{\\rtf1 a\\bin999999 xyz") << "a";
    QTest::newRow("deep nesting") << QByteArray("{\\rtf1 ") + QByteArray(100000, '{') + "x" + QByteArray(100000, '}')
                                  << "x";
    QTest::newRow("colour index past the table") << QByteArray("{\\rtf1{\\colortbl;}\\cf7 x}") << "x";
    QTest::newRow("control word of endless letters")
        << QByteArray("{\\rtf1\\") + QByteArray(1000, 'a') + " x}" << QString();
}

void TestRtfReader::brokenInputDoesNotCrash()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    const QString read = Read(rtf);
    if (!text.isNull())
        QCOMPARE(read, text);
}

void TestRtfReader::mangledHelpFilesDoNotCrash()
{
    QFile file(BRAMBOLD_HELP_DIR "/CoreHelpDE.dat");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray original = file.readAll();
    QRandomGenerator random(254);
    for (int round = 0; round < 300; ++round) {
        QByteArray mangled = original.left(random.bounded(original.size() + 1));
        for (int i = 0; i < 20 && !mangled.isEmpty(); ++i)
            mangled[random.bounded(mangled.size())] = "{}\\'u0-9 ;\x80"[random.bounded(12)];
        QTextDocument document;
        platform::LoadRichOrPlainText(mangled, document);
    }
}

void TestRtfReader::shippedHelpFilesReadAsRtf_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("umlautWord");
    QTest::newRow("English") << "CoreHelpEN.dat"
                             << "Three ways to unpack an archive" << QString();
    QTest::newRow("German") << "CoreHelpDE.dat"
                            << "Drei Wege zum Entpacken"
                            << "überschreibt";
}

void TestRtfReader::shippedHelpFilesReadAsRtf()
{
    QFETCH(QString, file);
    QFETCH(QString, heading);
    QFETCH(QString, umlautWord);
    QFile help(QStringLiteral(BRAMBOLD_HELP_DIR "/") + file);
    QVERIFY(help.open(QIODevice::ReadOnly));
    QTextDocument document;
    platform::LoadRichOrPlainText(help.readAll(), document);
    const QString text = document.toPlainText();
    QVERIFY(!text.contains(u'\\'));
    QVERIFY(!text.contains(QLatin1String("Arial")));
    for (const char* name : {"folder.txt", "silent.txt", "password.txt", "Installer Language", "Fehler! --> ",
                             "Brambold!", "Tessmark/Brambold Free Unrar.conf"})
        QVERIFY2(text.contains(QLatin1String(name)), name);
    QVERIFY(FormatOf(document, heading).fontWeight() == QFont::Bold);
    if (!umlautWord.isEmpty())
        QVERIFY(text.contains(umlautWord));
}

QTEST_MAIN(TestRtfReader)
#include "rtf_reader_test.moc"
