#pragma once

#include "platform/error_box.h"
#include "platform/program_folder.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

// Both settings scopes and the program folder point into fresh temporary
// folders, and the error box is caught, for one test.
class LauncherSandbox {
public:
    LauncherSandbox()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, FRoot.filePath("machine"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FRoot.filePath("user"));
        QDir(FRoot.path()).mkpath("program");
        platform::SetProgramFolder(ProgramFolder().toStdString());
        platform::SetErrorBoxHandler([this](const QString& message) { FErrors << message; });
    }

    ~LauncherSandbox()
    {
        platform::SetErrorBoxHandler({});
        platform::SetProgramFolder({});
    }

    QString Path(const QString& name) const { return FRoot.filePath(name); }
    QString ProgramFolder() const { return FRoot.filePath("program") + '/'; }
    const QStringList& Errors() const { return FErrors; }

    static QString SettingsFile(const QString& scopeFolder)
    {
        return scopeFolder + "/Tessmark/Brambold Free Unrar.conf";
    }
    QString MachineFile() const { return SettingsFile(Path("machine")); }
    QString UserFile() const { return SettingsFile(Path("user")); }

    // `line` is the value's line as it stands in the file, e.g. "Installer%20Language=1031".
    static void WriteSettings(const QString& file, const QByteArray& line)
    {
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write("[General]\n" + line + "\n");
    }

    static QByteArray ReadFile(const QString& file)
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

    void WriteProgramFile(const QString& name, const QByteArray& content) const
    {
        QFile out(ProgramFolder() + name);
        out.open(QIODevice::WriteOnly);
        out.write(content);
    }

private:
    QTemporaryDir FRoot;
    QStringList FErrors;
};
