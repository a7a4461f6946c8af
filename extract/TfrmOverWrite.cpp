#include "extract/TfrmOverWrite.h"

#include <QGuiApplication>
#include <QScreen>

#include "ui_TfrmOverWrite.h"
#include "platform/text_fit.h"
#include "platform/window_placement.h"

TfrmOverWrite::TfrmOverWrite(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TfrmOverWrite>())
{
    ui->setupUi(this);
    // The question's label takes the width of its text, as the file name's does.
    ui->Label3->adjustSize();
    platform::FitTexts(this);
    connect(ui->btnYes, &QPushButton::clicked, this, [this] { done(ResultYes); });
    connect(ui->btnNo, &QPushButton::clicked, this, [this] { done(ResultNo); });
    connect(ui->btnAlways, &QPushButton::clicked, this, [this] { done(ResultYesToAll); });
    connect(ui->btnNever, &QPushButton::clicked, this, [this] { done(ResultNoToAll); });
    ui->btnYes->setFocus();
}

TfrmOverWrite::~TfrmOverWrite() = default;

void TfrmOverWrite::SetFileName(const QString& fileName)
{
    ui->lblFileName->setText(fileName);
    ui->lblFileName->adjustSize();
}

// The close box and Escape: the question stays unanswered, so the file is kept.
void TfrmOverWrite::reject()
{
    done(ResultCancel);
}

void TfrmOverWrite::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

// Widens the window to the file name; it never shrinks, and never gets wider
// than the screen. A name wider than that is drawn smaller, not cut.
void TfrmOverWrite::FormShow()
{
    const int w = ui->lblFileName->width() + 50;
    if (w > width()) {
        const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        const int screenWidth = screen ? screen->availableGeometry().width() : w;
        setFixedWidth(w > screenWidth ? screenWidth - 10 : w);
    }
    const int room = width() - ui->lblFileName->x() - 25;
    if (ui->lblFileName->width() > room) {
        ui->lblFileName->resize(room, ui->lblFileName->height());
        platform::FitTexts(ui->lblFileName);
    }
    platform::CentreOnScreen(this);
}
