#include "launcher/RunAndWait.h"
#include "launcher/TfrmConfig.h"
#include "launcher_test_support.h"
#include "platform/file_chooser.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

namespace {

struct Start {
    QString program;
    QString archive;
    bool windowVisible;
};

// Stands in for the copies of the program: records each start in order.
class StartRecorder {
public:
    explicit StartRecorder(TfrmConfig& window) : FWindow(window)
    {
        window.SetProcessStarter([this](const QString& program, const QString& archive) {
            if (FRunning)
                overlapped = true;
            FRunning = true;
            starts << Start{program, archive, FWindow.isVisible()};
            FRunning = false;
            return true;
        });
    }
    QStringList Archives() const
    {
        QStringList archives;
        for (const Start& start : starts)
            archives << start.archive;
        return archives;
    }
    QList<Start> starts;
    bool overlapped = false;  // a copy started while another one still ran

private:
    TfrmConfig& FWindow;
    bool FRunning = false;
};

void MakeFile(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

}  // namespace

class TestLauncherDrops : public QObject {
    Q_OBJECT

private slots:
    void archivesRunOneAfterAnotherWhileHidden();
    void onlyExistingRarFilesAreStarted_data();
    void onlyExistingRarFilesAreStarted();
    void emptyDropShowsTheWindowAgain();
    void ctrlOChoosesArchivesForTheRoadOfADrop_data();
    void ctrlOChoosesArchivesForTheRoadOfADrop();
    void droppedUrlsReachTheStarter_data();
    void droppedUrlsReachTheStarter();
    void runAndWait_data();
    void runAndWait();
};

void TestLauncherDrops::archivesRunOneAfterAnotherWhileHidden()
{
    LauncherSandbox sandbox;
    const QStringList archives = {sandbox.Path("one.rar"), sandbox.Path("two.rar"), sandbox.Path("three.rar")};
    for (const QString& archive : archives)
        MakeFile(archive);
    TfrmConfig window;
    window.show();
    StartRecorder recorder(window);

    window.WMDropFiles(archives);

    QCOMPARE(recorder.Archives(), archives);
    QVERIFY(!recorder.overlapped);
    for (const Start& start : recorder.starts) {
        QCOMPARE(start.program, QCoreApplication::applicationFilePath());
        QVERIFY(!start.windowVisible);
    }
    QVERIFY(window.isVisible());
}

void TestLauncherDrops::ctrlOChoosesArchivesForTheRoadOfADrop_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("started");
    QTest::newRow("two archives run one after another")
        << QStringList{"one.rar", "two.rar"} << QStringList{"one.rar", "two.rar"};
    QTest::newRow("another file is passed over as in a drop")
        << QStringList{"b.zip", "one.rar"} << QStringList{"one.rar"};
    QTest::newRow("a cancelled chooser starts nothing") << QStringList{} << QStringList{};
}

void TestLauncherDrops::ctrlOChoosesArchivesForTheRoadOfADrop()
{
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, started);
    LauncherSandbox sandbox;
    for (const char* name : {"one.rar", "two.rar", "b.zip"})
        MakeFile(sandbox.Path(name));
    QString title, filter;
    platform::SetFileChooserHandler([&](QWidget*, const QString& t, const QString& f) {
        title = t;
        filter = f;
        QStringList paths;
        for (const QString& name : chosen)
            paths << sandbox.Path(name);
        return paths;
    });
    TfrmConfig window;
    window.show();
    QApplication::setActiveWindow(&window);
    StartRecorder recorder(window);

    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    platform::SetFileChooserHandler({});

    QVERIFY2(!title.isEmpty(), "Ctrl+O showed no chooser");
    QVERIFY(filter.startsWith("RAR archives (*.rar"));
    QStringList expected;
    for (const QString& name : started)
        expected << sandbox.Path(name);
    QCOMPARE(recorder.Archives(), expected);
    QVERIFY(window.isVisible());
}

void TestLauncherDrops::onlyExistingRarFilesAreStarted_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<bool>("started");
    QTest::newRow("a.rar") << "a.rar" << false << true;
    QTest::newRow("capitals ARCHIVE.RAR") << "ARCHIVE.RAR" << false << true;
    QTest::newRow("first volume data.part1.rar") << "data.part1.rar" << false << true;
    QTest::newRow("bare name rar") << "rar" << false << true;
    QTest::newRow("bare name RAR") << "RAR" << false << true;
    QTest::newRow("path with blanks") << "my archives/summer 2024.rar" << false << true;
    QTest::newRow("old volume data.r00") << "data.r00" << false << false;
    QTest::newRow("zip archive") << "b.zip" << false << false;
    QTest::newRow("name ending in rar without the dot") << "sonar" << false << false;
    QTest::newRow("folder named like an archive") << "folder.rar" << true << false;
    QTest::newRow("plain folder") << "folder" << true << false;
    QTest::newRow("archive that has gone") << "gone.rar" << false << false;
}

void TestLauncherDrops::onlyExistingRarFilesAreStarted()
{
    QFETCH(QString, name);
    QFETCH(bool, isFolder);
    QFETCH(bool, started);
    LauncherSandbox sandbox;
    const QString path = sandbox.Path(name);
    QDir().mkpath(isFolder ? path : QFileInfo(path).path());
    if (!isFolder && name != "gone.rar")
        MakeFile(path);
    TfrmConfig window;
    StartRecorder recorder(window);

    window.WMDropFiles({path});

    QCOMPARE(recorder.Archives(), started ? QStringList{path} : QStringList());
}

void TestLauncherDrops::emptyDropShowsTheWindowAgain()
{
    LauncherSandbox sandbox;
    MakeFile(sandbox.Path("a.rar"));
    TfrmConfig window;
    window.show();
    StartRecorder recorder(window);
    window.WMDropFiles({});
    QVERIFY(recorder.starts.isEmpty());
    QVERIFY(window.isVisible());

    // The mix of an archive, a zip and a folder starts the archive alone.
    QDir().mkpath(sandbox.Path("c"));
    MakeFile(sandbox.Path("b.zip"));
    window.WMDropFiles({sandbox.Path("a.rar"), sandbox.Path("b.zip"), sandbox.Path("c")});
    QCOMPARE(recorder.Archives(), QStringList{sandbox.Path("a.rar")});
}

void TestLauncherDrops::droppedUrlsReachTheStarter_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("dropped on the program picture") << "Image2";
    QTest::newRow("dropped on the instruction") << "Memo2";
    QTest::newRow("dropped on the help text") << "RichEdit1";
}

void TestLauncherDrops::droppedUrlsReachTheStarter()
{
    QFETCH(QString, target);
    LauncherSandbox sandbox;
    MakeFile(sandbox.Path("x y.rar"));
    MakeFile(sandbox.Path("z.rar"));
    TfrmConfig window;
    window.show();
    StartRecorder recorder(window);
    QWidget* widget = window.findChild<QWidget*>(target);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget))
        widget = area->viewport();

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(sandbox.Path("x y.rar")), QUrl("https://www.tessmark.example/a.rar"),
                  QUrl::fromLocalFile(sandbox.Path("z.rar"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &drop);
    QVERIFY(drop.isAccepted());
    QTRY_COMPARE(recorder.Archives(), (QStringList{sandbox.Path("x y.rar"), sandbox.Path("z.rar")}));
}

void TestLauncherDrops::runAndWait_data()
{
    QTest::addColumn<QString>("argument");
    QTest::newRow("plain path") << "/tmp/a.rar";
    QTest::newRow("path with blanks and quotes stays one argument") << "/tmp/my \"best\" archive.rar";
}

// A real process: a script that takes its time, then notes its arguments and folder.
void TestLauncherDrops::runAndWait()
{
    QFETCH(QString, argument);
    LauncherSandbox sandbox;
    const QString script = sandbox.Path("program/copy.sh");
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nsleep 0.3\nprintf '%s\\n' \"$#\" \"$1\" \"$(pwd)\" > \"$(dirname \"$0\")/out.txt\"\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir::setCurrent(QDir::tempPath());

    QVERIFY(RunAndWait(script, argument));

    const QByteArray out = LauncherSandbox::ReadFile(sandbox.Path("program/out.txt"));
    QCOMPARE(QString::fromUtf8(out),
             "1\n" + argument + "\n" + QFileInfo(sandbox.ProgramFolder()).canonicalFilePath() + "\n");
    QVERIFY(!RunAndWait(sandbox.Path("program/missing"), argument));
}

QTEST_MAIN(TestLauncherDrops)
#include "launcher_drops_test.moc"
