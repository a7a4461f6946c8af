#include "launcher/RunAndWait.h"

#include "platform/program_folder.h"

#include <QProcess>

bool RunAndWait(const QString& programPath, const QString& argument)
{
    QProcess process;
    process.setProgram(programPath);
    process.setArguments({argument});
    process.setWorkingDirectory(QString::fromStdString(platform::FolderPart(programPath.toStdString())));
    // The copy's output goes where ours goes; nothing piles up in a pipe while we wait.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start();
    if (!process.waitForStarted(-1))
        return false;
    process.waitForFinished(-1);
    return true;
}
