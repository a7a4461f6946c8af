#include "launcher/TfrmConfig.h"

#include "launcher/LanguageTable.h"
#include "launcher/RunAndWait.h"
#include "platform/command_line.h"
#include "platform/designed_colours.h"
#include "platform/error_box.h"
#include "platform/file_chooser.h"
#include "platform/narrow_tabs.h"
#include "platform/program_folder.h"
#include "platform/registry.h"
#include "platform/rtf_reader.h"
#include "platform/sharp_picture.h"
#include "platform/shell.h"
#include "platform/text_fit.h"
#include "platform/text_file.h"
#include "platform/window_placement.h"
#include "ui_TfrmConfig.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTabBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>

#include <climits>
#include <optional>
#include <stdexcept>

namespace {

constexpr auto LanguageValueName = "Installer Language";
constexpr auto EnglishHelpFile = "CoreHelpEN.dat";
constexpr auto GermanHelpFile = "CoreHelpDE.dat";
constexpr int PictureLanguageTop = 253;

// The keyboard's way in beside dropping: the chooser's texts.
constexpr auto OpenArchivesTitle = "Open RAR archives";
constexpr auto OpenArchivesFilter = "RAR archives (*.rar *.RAR);;All files (*)";

// The runtime's own messages for a bad setting; like all its messages, German.
constexpr auto InvalidDataType = "Ungültiger Datentyp für '%s'";
constexpr auto NotAnInteger = "'%s' ist kein gültiger Integerwert";

// Pictures of the window, by control.
struct PictureRow {
    const char* control;
    const char* resource;
};
// clang-format off
constexpr PictureRow Pictures[] = {
    {"Image2", ":/pictures/program.jpg"},
    {"Image10", ":/pictures/about.jpg"},
    {"Image4", ":/pictures/gift_ebook.jpg"},
    {"Image5", ":/pictures/gift_screensaver.jpg"},
    {"Image3", ":/pictures/gift_project.jpg"},
    {"Image11", ":/pictures/gratitude.jpg"},
    {"Image12", ":/pictures/appreciation.jpg"},
};
// clang-format on

class CreationError : public std::runtime_error {
public:
    explicit CreationError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

QString WithValue(const char* message, const QString& value)
{
    return QString::fromUtf8(message).replace(QLatin1String("%s"), value);
}

// Decimal with an optional sign, nothing else: no blanks, no empty text.
std::optional<int> DecimalToInt(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > -static_cast<long long>(INT_MIN))
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

int LanguageValueToInt(const platform::RegistryValue& value)
{
    if (value.kind == platform::RegistryValue::Kind::NotText)
        throw CreationError(WithValue(InvalidDataType, QString::fromUtf8(LanguageValueName)));
    const auto id = DecimalToInt(value.text);
    if (!id)
        throw CreationError(WithValue(NotAnInteger, value.text));
    return *id;
}

// "B r a m b o l d   F r e e" as a screen reader should say it: "Brambold Free".
QString WithoutLetterSpacing(const QString& text)
{
    QStringList words = text.split(QRegularExpression(QStringLiteral(" {2,}")), Qt::SkipEmptyParts);
    for (QString& word : words)
        word.remove(u' ');
    return words.join(u' ');
}

bool IsRarName(const QString& path)
{
    return platform::IsRarEnding(
        platform::LastFourLower(platform::FileNamePart(QFile::encodeName(path).toStdString())));
}

}  // namespace

TfrmConfig::TfrmConfig(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TfrmConfig>()), FProcessStarter(&RunAndWait)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setFixedSize(513, 363);
    platform::CentreOnScreen(this);
    // Tabs cannot wrap into rows here, and the six German captions are wider
    // than the page control with the style's usual tab margins: narrower
    // margins keep every page reachable without scroll arrows.
    platform::UseNarrowTabs(ui->PageControl1->tabBar());
    KeepDesignedLook();
    // Return and Enter press the focused button, as they do in a dialog.
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(true);
    ui->Memo2->viewport()->setCursor(Qt::ArrowCursor);
    // Four lines of 8 points fill the box only without the document's margin.
    ui->Memo2->document()->setDocumentMargin(0);
    SetMemoLines(ui->Memo2->toPlainText().split(u'\n'));
    LanguagePicture("LanguageImage");
    ConnectHandlers();
    // Dropping needs a mouse and a file manager: Ctrl+O takes the same road.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this), &QShortcut::activated, this,
            &TfrmConfig::OpenArchives);

    // An error ends the set-up where it happened; the window still comes up
    // with what was done so far.
    try {
        FormCreate();
    } catch (const std::exception& error) {
        platform::ShowErrorBox(QString::fromUtf8(error.what()));
    }
    ui->StaticText2->setAccessibleName(WithoutLetterSpacing(ui->StaticText2->text()));
    // Last, so the language's lines and the German captions are measured too.
    platform::FitTexts(this);
}

TfrmConfig::~TfrmConfig() = default;

void TfrmConfig::SetProcessStarter(TProcessStarter starter)
{
    FProcessStarter = starter ? std::move(starter) : TProcessStarter(&RunAndWait);
}

void TfrmConfig::FormCreate()
{
    setAcceptDrops(true);
    LoadHelpFile(EnglishHelpFile);
    FLanguageId = 1033;
    FLinks = EnglishLinks();
    LookUpLanguage();
    ApplyLanguage();
}

void TfrmConfig::KeepDesignedLook()
{
    // The texts stand on white panels and pictures: a dark desktop palette
    // must not turn them light. The buttons and tabs follow the desktop.
    for (int page = 0; page < ui->PageControl1->count(); ++page) {
        QWidget* sheet = ui->PageControl1->widget(page);
        for (QWidget* widget : sheet->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (qobject_cast<QLabel*>(widget) || qobject_cast<QTextEdit*>(widget))
                platform::KeepDesignedColours(widget);
    }
}

void TfrmConfig::LoadPictures()
{
    FPicturesLoaded = true;
    // Drawn for the screen's pixels: a 2x screen gets the pictures drawn at 2x.
    const qreal ratio = devicePixelRatioF();
    for (const PictureRow& row : Pictures)
        if (auto* label = findChild<QLabel*>(QLatin1String(row.control)))
            label->setPixmap(platform::SharpPicture(QLatin1String(row.resource), ratio));
}

const QLabel* TfrmConfig::LanguagePicture(const char* holderName)
{
    // The holders and LanguageImage itself are named after their pictures.
    auto* holder = findChild<QLabel*>(QLatin1String(holderName));
    if (holder && holder->pixmap().isNull())
        holder->setPixmap(
            platform::SharpPicture(QStringLiteral(":/pictures/language/%1.jpg").arg(QLatin1String(holderName)),
                                   devicePixelRatioF()));
    return holder;
}

void TfrmConfig::showEvent(QShowEvent* event)
{
    // Beside an extraction window this one stays hidden for good: its
    // pages' pictures are only decoded once it is seen.
    if (!FPicturesLoaded)
        LoadPictures();
    QWidget::showEvent(event);
}

void TfrmConfig::LoadHelpFile(const char* fileName)
{
    // The settings files' reader: a pipe there is a read error, not a wait.
    const auto data = platform::ReadWholeFile(platform::ProgramFolder() + fileName);
    if (!data)
        return;
    platform::LoadRichOrPlainText(QByteArray::fromStdString(*data), *ui->RichEdit1->document());
    ui->RichEdit1->moveCursor(QTextCursor::Start);
}

void TfrmConfig::LookUpLanguage()
{
    using platform::RegistryRoot;
    const QString name = QString::fromUtf8(LanguageValueName);
    const auto machine = platform::ReadRegistryValue(RegistryRoot::LocalMachine, name);
    if (machine.kind != platform::RegistryValue::Kind::Missing) {
        FLanguageId = LanguageValueToInt(machine);
        return;
    }
    const auto user = platform::ReadRegistryValue(RegistryRoot::CurrentUser, name);
    if (user.kind != platform::RegistryValue::Kind::Missing)
        FLanguageId = LanguageValueToInt(user);
    // Teach the machine-wide key the user's language. Without write access
    // that fails, which must not cost the user the language: it is ignored.
    if (FLanguageId != 1033)
        platform::WriteRegistryText(RegistryRoot::LocalMachine, name, QString::number(FLanguageId));
}

void TfrmConfig::ApplyLanguage()
{
    const TLanguageRow* row = FindLanguageRow(FLanguageId);
    if (!row)
        return;
    switch (row->Kind) {
    case TLanguageRowKind::Text:
    case TLanguageRowKind::German: {
        QStringList lines;
        for (const char* line : *row->Lines)
            lines << QString::fromUtf8(line);
        SetMemoLines(lines);
        if (row->Kind == TLanguageRowKind::German)
            ApplyGermanExtras();
        break;
    }
    case TLanguageRowKind::Picture:
        ui->Memo2->hide();
        if (const QLabel* holder = LanguagePicture(row->PictureHolder))
            ui->LanguageImage->setPixmap(holder->pixmap());
        ui->LanguageImage->move(ui->LanguageImage->x(), PictureLanguageTop);
        ui->LanguageImage->show();
        break;
    case TLanguageRowKind::OwnPicture:
        ui->Memo2->hide();
        ui->LanguageImage->show();
        break;
    case TLanguageRowKind::KeepEnglish:
        break;
    }
}

void TfrmConfig::ApplyGermanExtras()
{
    LoadHelpFile(GermanHelpFile);
    for (const TCaptionRow& row : GermanCaptions()) {
        const QString caption = QString::fromUtf8(row.Caption);
        QWidget* control = findChild<QWidget*>(QLatin1String(row.Control));
        if (!control)
            continue;
        if (const int page = ui->PageControl1->indexOf(control); page >= 0)
            ui->PageControl1->setTabText(page, caption);
        else if (auto* button = qobject_cast<QAbstractButton*>(control))
            button->setText(caption);
        else if (auto* label = qobject_cast<QLabel*>(control))
            label->setText(caption);
    }
    ApplyGermanLinks(FLinks);
}

void TfrmConfig::SetMemoLines(const QStringList& lines)
{
    ui->Memo2->setPlainText(lines.join(u'\n'));
    QTextCursor cursor(ui->Memo2->document());
    cursor.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    cursor.mergeBlockFormat(centred);
}

void TfrmConfig::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TfrmConfig::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TfrmConfig::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    event->acceptProposedAction();
    // Finish the drop first, so the file manager is not kept waiting while
    // the archives are unpacked.
    QMetaObject::invokeMethod(
        this, [this, paths] { WMDropFiles(paths); }, Qt::QueuedConnection);
}

void TfrmConfig::WMDropFiles(const QStringList& paths)
{
    hide();
    const QString program = QCoreApplication::applicationFilePath();
    for (const QString& path : paths)
        if (IsRarName(path) && platform::FileExists(QFile::encodeName(path).toStdString()))
            FProcessStarter(program, path);
    show();
    raise();
    activateWindow();
}

void TfrmConfig::OpenArchives()
{
    const QStringList paths = platform::ChooseFiles(this, QString::fromUtf8(OpenArchivesTitle),
                                                    QString::fromUtf8(OpenArchivesFilter));
    if (!paths.isEmpty())
        WMDropFiles(paths);
}

void TfrmConfig::Open(const QString& url)
{
    platform::OpenUrl(url);
}

void TfrmConfig::ConnectHandlers()
{
    // Several controls share a handler: every part of a work's column leads to its page.
    const auto onClick = [this](std::initializer_list<QWidget*> controls, void (TfrmConfig::*handler)()) {
        for (QWidget* control : controls) {
            if (auto* button = qobject_cast<QAbstractButton*>(control))
                connect(button, &QAbstractButton::clicked, this, handler);
            else if (auto* label = qobject_cast<ClickableLabel*>(control))
                connect(label, &ClickableLabel::clicked, this, handler);
        }
    };
    onClick({ui->Button2}, &TfrmConfig::Button2Click);
    onClick({ui->Button17}, &TfrmConfig::Button17Click);
    onClick({ui->Button19}, &TfrmConfig::Button19Click);
    onClick({ui->StaticText2, ui->Image10, ui->Button13}, &TfrmConfig::StaticText2Click);
    onClick({ui->StaticText5}, &TfrmConfig::StaticText5Click);
    onClick({ui->StaticText1}, &TfrmConfig::StaticText1Click);
    onClick({ui->Button12}, &TfrmConfig::Button12Click);
    onClick({ui->Button14}, &TfrmConfig::Button14Click);
    onClick({ui->Image4, ui->Button3, ui->StaticText3, ui->StaticText4, ui->StaticText6}, &TfrmConfig::Image4Click);
    onClick({ui->Button4}, &TfrmConfig::Button4Click);
    onClick({ui->Button5}, &TfrmConfig::Button5Click);
    onClick({ui->Image5, ui->Button9, ui->StaticText7, ui->StaticText8, ui->StaticText9}, &TfrmConfig::Image5Click);
    onClick({ui->Button10}, &TfrmConfig::Button10Click);
    onClick({ui->Button11}, &TfrmConfig::Button11Click);
    onClick({ui->Image3, ui->Button6, ui->StaticText10, ui->StaticText11, ui->StaticText12}, &TfrmConfig::Image3Click);
    onClick({ui->Button7}, &TfrmConfig::Button7Click);
    onClick({ui->Button8}, &TfrmConfig::Button8Click);
    onClick({ui->Image11}, &TfrmConfig::Image11Click);
    onClick({ui->Button16}, &TfrmConfig::Button16Click);
    onClick({ui->Image12}, &TfrmConfig::Image12Click);
    onClick({ui->Button15}, &TfrmConfig::Button15Click);
}

// The licence is looked for beside the program, whatever the current folder.
void TfrmConfig::Button2Click()
{
    platform::OpenLocalFile(QString::fromStdString(platform::ProgramFolder()) + FLinks.FLicenseFileName);
}

// clang-format off
void TfrmConfig::Button17Click() { Open(FLinks.FUpdateUrl); }
void TfrmConfig::Button19Click() { Open(FLinks.FDonateUrl); }
void TfrmConfig::StaticText2Click() { Open(FLinks.FProgramHomeUrl); }
void TfrmConfig::StaticText5Click() { Open(FLinks.FMakerHomeUrl); }
void TfrmConfig::StaticText1Click() { Open(QString::fromUtf8(ArtistSiteUrl)); }
void TfrmConfig::Button12Click() { Open(FLinks.FFaqUrl); }
void TfrmConfig::Button14Click() { Open(QString::fromUtf8(VideoUrl)); }
void TfrmConfig::Image4Click() { Open(FLinks.FEbookDetailsUrl); }
void TfrmConfig::Button4Click() { Open(FLinks.FEbookReadUrl); }
void TfrmConfig::Button5Click() { Open(FLinks.FMoreEbooksUrl); }
void TfrmConfig::Image5Click() { Open(FLinks.FScreensaverDetailsUrl); }
void TfrmConfig::Button10Click() { Open(FLinks.FScreensaverDownloadUrl); }
void TfrmConfig::Button11Click() { Open(FLinks.FMoreScreensaversUrl); }
void TfrmConfig::Image3Click() { Open(FLinks.FProjectDetailsUrl); }
void TfrmConfig::Button7Click() { Open(FLinks.FProjectSiteUrl); }
void TfrmConfig::Button8Click() { Open(FLinks.FMoreProjectsUrl); }
void TfrmConfig::Image11Click() { Open(FLinks.FGratitudeUrl); }
void TfrmConfig::Button16Click() { Open(FLinks.FWallpaperUrl); }
void TfrmConfig::Image12Click() { Open(FLinks.FBookDetailsUrl); }
void TfrmConfig::Button15Click() { Open(FLinks.FBookReadUrl); }
// clang-format on
