#include "extract/untVoskFileLib.h"

#include <QString>

#include "platform/folder_chooser.h"

void ChooseFolder(QWidget* owner, const std::string& /*rootText*/, const std::string& initialFolder,
                  std::string& resultFolder)
{
    resultFolder = platform::ChooseFolder(owner, QStringLiteral("Wählen Sie bitte einen Ordner aus ..."),
                                          QString::fromStdString(initialFolder))
                       .toStdString();
}

void StripTrailingBackslash(std::string& path)
{
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
}
