#pragma once

// What the extraction window's tests share: a clean program folder and seams,
// a reader of the window's state, scripted answers for the engine's prompts
// and for the window's own modal dialogs.

#include <QApplication>
#include <algorithm>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "extract/TfrmMain.h"
#include "test_support.h"

class TfrmMainAccess {
public:
    static const QStringList& StatusLog(const TfrmMain& f) { return f.FStatusLog; }
    static TVoskUnRar& Component(TfrmMain& f) { return *f.voskUnRar; }
    static bool ArchiveLoaded(const TfrmMain& f) { return f.FArchiveLoaded; }
    static int32_t EntryCount(const TfrmMain& f) { return f.FEntryCount; }
    static void ListArchive(TfrmMain& f, const std::string& path) { f.ListArchive(path); }
};

// A fresh program folder, no real sleeping, no real folder dialog.
struct Environment {
    Environment();
    ~Environment();

    // A window for `archive`, with its one-second timer stopped.
    std::unique_ptr<TfrmMain> Window(const std::string& archive);
    // Copies a committed test archive into `folder`; gives the copy's path.
    static std::string CopyArchive(const std::string& name, const std::string& folder);
    void WriteFolderTxt(const std::string& content) const;

    TempFolder program;
    TempFolder work;
    std::vector<unsigned> sleeps;
    std::vector<std::string> chooserCalls;  // initial folders asked with
    std::string chooserAnswer;
};

// Answers the engine's password prompt with the given texts in turn, the
// last one again and again.
class ScriptedPrompts : public IUnRarPrompts {
public:
    explicit ScriptedPrompts(std::vector<std::string> passwords) : FPasswords(std::move(passwords)) {}
    std::string AskPassword(const std::string&, const TPasswordRequest&) override
    {
        ++asked;
        return FPasswords[std::min<size_t>(asked, FPasswords.size()) - 1];
    }
    bool AskNextVolume(const std::string&, std::string& name) override
    {
        name.clear();
        return false;
    }
    size_t asked = 0;

private:
    std::vector<std::string> FPasswords;
};

// Watches for modal windows and hands each new one, once, to `answer`.
class ModalScript {
public:
    explicit ModalScript(std::function<void(QWidget&)> answer);
    std::vector<std::string> seen;  // class names, in order

private:
    QTimer FTimer;
    std::function<void(QWidget&)> FAnswer;
};

template <class T>
T& Child(QObject& parent, const char* name)
{
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child)
        throw std::runtime_error(std::string("no child ") + name);
    return *child;
}

// Runs the event loop for `ms`, letting it run dry, so idle handlers fire
// (QTest::qWait never lets the loop block).
void RunIdle(int ms = 20);

namespace extract_test {
// Parameter rows show as their names in test listings.
template <class Case, class = decltype(Case::name)>
std::ostream& operator<<(std::ostream& os, const Case& row)
{
    return os << row.name;
}
}  // namespace extract_test

// The texts of one column, top to bottom.
QStringList ColumnTexts(TfrmMain& window, int column);
