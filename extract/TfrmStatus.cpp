#include "extract/TfrmStatus.h"

#include "ui_TfrmStatus.h"
#include "platform/text_fit.h"
#include "platform/window_placement.h"

TfrmStatus::TfrmStatus(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TfrmStatus>())
{
    ui->setupUi(this);
    connect(ui->Button1, &QPushButton::clicked, this, &TfrmStatus::Button1Click);
    platform::FitTexts(this);
    platform::CentreOnScreen(this);
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
