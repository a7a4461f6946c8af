#pragma once

#include "launcher/LinkTable.h"

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QLabel;
class QShowEvent;

namespace Ui {
class TfrmConfig;
}

// The launcher: program picture with the instruction in the user's language,
// About, three pages of the maker's other works, and Help. Archives dropped on
// it are unpacked one after another, each by a new copy of the program.
class TfrmConfig : public QWidget {
    Q_OBJECT

public:
    explicit TfrmConfig(QWidget* parent = nullptr);
    ~TfrmConfig() override;

    // Starts one copy of the program for an archive and waits for it to end.
    using TProcessStarter = std::function<bool(const QString& programPath, const QString& archivePath)>;
    void SetProcessStarter(TProcessStarter starter);

    int LanguageId() const { return FLanguageId; }
    const TLinkFields& Links() const { return FLinks; }

    // Hands each dropped RAR archive, in the given order, to its own copy of the program.
    void WMDropFiles(const QStringList& paths);
    // Ctrl+O: the archives chosen in a file dialog take the road of a drop.
    void OpenArchives();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void KeepDesignedLook();
    void LoadPictures();
    // The language picture of that holder, decoded when first asked for.
    const QLabel* LanguagePicture(const char* holderName);
    void LoadHelpFile(const char* fileName);
    void LookUpLanguage();
    void ApplyLanguage();
    void ApplyGermanExtras();
    void SetMemoLines(const QStringList& lines);
    void ConnectHandlers();
    void Open(const QString& url);

    void Button2Click();
    void Button17Click();
    void Button19Click();
    void StaticText2Click();
    void StaticText5Click();
    void StaticText1Click();
    void Button12Click();
    void Button14Click();
    void Image4Click();
    void Button4Click();
    void Button5Click();
    void Image5Click();
    void Button10Click();
    void Button11Click();
    void Image3Click();
    void Button7Click();
    void Button8Click();
    void Image11Click();
    void Button16Click();
    void Image12Click();
    void Button15Click();

    std::unique_ptr<Ui::TfrmConfig> ui;
    int FLanguageId = 1033;
    bool FPicturesLoaded = false;
    TLinkFields FLinks;
    TProcessStarter FProcessStarter;
};
