#include "window_helpers.h"

#include <QEventLoop>
#include <filesystem>
#include <fstream>

#include "platform/folder_chooser.h"
#include "platform/program_folder.h"
#include "platform/sleep.h"

namespace fs = std::filesystem;

Environment::Environment()
{
    platform::SetProgramFolder(program.Path());
    platform::SetSleepHandler([this](unsigned ms) { sleeps.push_back(ms); });
    platform::SetFolderChooserHandler([this](QWidget*, const QString&, const QString& initial) {
        chooserCalls.push_back(initial.toStdString());
        return QString::fromStdString(chooserAnswer);
    });
}

Environment::~Environment()
{
    platform::SetFolderChooserHandler({});
    platform::SetSleepHandler({});
    platform::SetProgramFolder("");
}

std::unique_ptr<TfrmMain> Environment::Window(const std::string& archive)
{
    auto window = std::make_unique<TfrmMain>(archive);
    Child<QTimer>(*window, "Timer1").stop();
    return window;
}

std::string Environment::CopyArchive(const std::string& name, const std::string& folder)
{
    const std::string copy = folder + "/" + name;
    fs::copy_file(TestDataPath(name), copy, fs::copy_options::overwrite_existing);
    return copy;
}

void Environment::WriteFolderTxt(const std::string& content) const
{
    std::ofstream(program.File("folder.txt"), std::ios::binary) << content;
}

ModalScript::ModalScript(std::function<void(QWidget&)> answer) : FAnswer(std::move(answer))
{
    FTimer.setInterval(5);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w->property("answered").toBool())
            return;
        w->setProperty("answered", true);
        seen.push_back(w->metaObject()->className());
        FAnswer(*w);
    });
    FTimer.start();
}

QStringList ColumnTexts(TfrmMain& window, int column)
{
    const QAbstractItemModel& rows = *Child<QTreeView>(window, "lstvwMain").model();
    QStringList texts;
    for (int i = 0; i < rows.rowCount(); ++i)
        texts << rows.index(i, column).data().toString();
    return texts;
}

void RunIdle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
