#include "extract/TfrmStatus.h"

#include <QGuiApplication>
#include <QScreen>

#include "ui_TfrmStatus.h"

TfrmStatus::TfrmStatus(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TfrmStatus>())
{
    ui->setupUi(this);
    connect(ui->Button1, &QPushButton::clicked, this, &TfrmStatus::Button1Click);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    ui->mmStatus->setFocus();
}

TfrmStatus::~TfrmStatus() = default;

void TfrmStatus::SetLines(const QStringList& lines)
{
    ui->mmStatus->setPlainText(lines.join(QLatin1Char('\n')));
}

void TfrmStatus::reject()
{
    done(ResultCancel);
}

void TfrmStatus::Button1Click()
{
    done(ResultCancel);
}
