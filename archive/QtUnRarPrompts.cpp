#include "archive/QtUnRarPrompts.h"

#include "platform/text_fit.h"
#include "platform/window_placement.h"

#include <QDialog>
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
};
constexpr TPromptTexts PromptTexts{"Protected Archive - Enter Password:", "Next Archive:", "OK", "Cancel"};

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

std::string TQtUnRarPrompts::AskPassword(const std::string& prefill)
{
    QString text = QString::fromStdString(prefill);
    RunPrompt(QString::fromUtf8(PromptTexts.passwordCaption), true, text);
    return text.toStdString();
}

bool TQtUnRarPrompts::AskNextVolume(const std::string& currentVolume, std::string& name)
{
    QString text = QString::fromStdString(currentVolume);
    const bool ok = RunPrompt(QString::fromUtf8(PromptTexts.volumeCaption), false, text);
    name = text.toStdString();
    return ok;
}

bool TQtUnRarPrompts::RunPrompt(const QString& caption, bool masked, QString& text)
{
    QDialog dialog(FParent,
                   Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setWindowTitle(caption);
    dialog.setFixedSize(268, 69);
    dialog.setFont(platform::WindowFont());

    auto* edit = new QLineEdit(&dialog);
    // The field has no label of its own: the caption says what it asks for.
    edit->setAccessibleName(caption);
    edit->setGeometry(8, 8, 253, 21);
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
    ok->setGeometry(107, 37, 75, 25);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QString::fromUtf8(PromptTexts.cancel), &dialog);
    cancel->setGeometry(187, 37, 75, 25);

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
