#include "archive/QtUnRarPrompts.h"

#include "platform/text_fit.h"
#include "platform/window_placement.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>

#include <algorithm>

namespace {

// The dialogs' texts, each written once.
struct TPromptTexts {
    const char* passwordCaption;
    const char* volumeCaption;
    const char* ok;
    const char* cancel;
    const char* askedAgain;  // after a wrong password, followed by the archive's file name
};
constexpr TPromptTexts PromptTexts{"Protected Archive - Enter Password:", "Next Archive:", "OK", "Cancel",
                                   "Wrong password: "};

// The line above the field when the same archive asks once more.
constexpr int NoteHeight = 21;

constexpr int MaxInputLength = 120;

std::function<void(QDialog&)>& DialogHook()
{
    static std::function<void(QDialog&)> hook;
    return hook;
}

// Masks a password with '*' whatever the desktop style would draw.
class TStarMaskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

TQtUnRarPrompts::TQtUnRarPrompts(QWidget* parent) : FParent(parent) {}

void TQtUnRarPrompts::SetDialogHook(std::function<void(QDialog&)> hook)
{
    DialogHook() = std::move(hook);
}

std::string TQtUnRarPrompts::AskPassword(const std::string& prefill, const TPasswordRequest& request)
{
    QString text = QString::fromStdString(prefill);
    // The same empty box twice would leave the user guessing why: the second
    // one says it comes again, and for which archive.
    QString note;
    if (request.repeat)
        note = QString::fromUtf8(PromptTexts.askedAgain) +
               QFileInfo(QFile::decodeName(QByteArray::fromStdString(request.archive))).fileName();
    RunPrompt(QString::fromUtf8(PromptTexts.passwordCaption), true, text, note);
    return text.toStdString();
}

bool TQtUnRarPrompts::AskNextVolume(const std::string& currentVolume, std::string& name)
{
    QString text = QString::fromStdString(currentVolume);
    const bool ok = RunPrompt(QString::fromUtf8(PromptTexts.volumeCaption), false, text);
    name = text.toStdString();
    return ok;
}

bool TQtUnRarPrompts::RunPrompt(const QString& caption, bool masked, QString& text, const QString& note)
{
    QDialog dialog(FParent,
                   Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setWindowTitle(caption);
    const int top = note.isEmpty() ? 0 : NoteHeight;
    dialog.setFixedSize(268, 69 + top);
    dialog.setFont(platform::WindowFont());

    if (!note.isEmpty()) {
        auto* line = new QLabel(&dialog);
        line->setObjectName("lblNote");
        line->setGeometry(8, 6, 253, 17);
        // A long name loses its middle, not the part that tells it apart.
        line->setText(QFontMetrics(dialog.font()).elidedText(note, Qt::ElideMiddle, line->width()));
        line->setToolTip(note);
    }

    auto* edit = new QLineEdit(&dialog);
    // The field has no label of its own: the caption says what it asks for.
    edit->setAccessibleName(caption);
    edit->setAccessibleDescription(note);
    edit->setGeometry(8, 8 + top, 253, 21);
    // The limit is for typing: a longer pre-filled text stays whole, or OK on
    // an unchanged name would hand on a different one.
    edit->setMaxLength(std::max<int>(MaxInputLength, text.size()));
    if (masked) {
        auto* style = new TStarMaskStyle;
        style->setParent(edit);
        edit->setStyle(style);
        edit->setEchoMode(QLineEdit::Password);
    }
    edit->setText(text);

    auto* ok = new QPushButton(QString::fromUtf8(PromptTexts.ok), &dialog);
    ok->setObjectName("btnOk");
    ok->setGeometry(107, 37 + top, 75, 25);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QString::fromUtf8(PromptTexts.cancel), &dialog);
    cancel->setGeometry(187, 37 + top, 75, 25);

    QWidget::setTabOrder(edit, ok);
    QWidget::setTabOrder(ok, cancel);
    edit->setFocus();

    // One handler for both buttons: the OK button is known by its name.
    const auto clicked = [&dialog](QObject* button) {
        dialog.done(button->objectName() == QLatin1String("btnOk") ? QDialog::Accepted : QDialog::Rejected);
    };
    QObject::connect(ok, &QPushButton::clicked, &dialog, [clicked, ok] { clicked(ok); });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, [clicked, cancel] { clicked(cancel); });

    platform::FitTexts(&dialog);
    platform::CentreOnScreen(&dialog);

    if (DialogHook())
        DialogHook()(dialog);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    text = edit->text();
    return accepted;
}
