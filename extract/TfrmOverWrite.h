#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfrmOverWrite;
}

// Asks whether one existing file may be overwritten, or all or none of the
// files still to come in this run.
class TfrmOverWrite : public QDialog {
    Q_OBJECT

public:
    // The modal results; closing the window any other way gives ResultCancel.
    enum Result { ResultCancel = 2, ResultYes = 6, ResultNo = 7, ResultNoToAll = 9, ResultYesToAll = 10 };

    explicit TfrmOverWrite(QWidget* parent = nullptr);
    ~TfrmOverWrite() override;

    void SetFileName(const QString& fileName);

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    std::unique_ptr<Ui::TfrmOverWrite> ui;
};
