#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

namespace Ui {
class TfrmStatus;
}

// Shows the extraction window's status log. Edits in the box are the
// viewer's own and vanish with the window.
class TfrmStatus : public QDialog {
    Q_OBJECT

public:
    // The modal result of the "Ok" button and of the close box; callers ignore it.
    static constexpr int ResultCancel = 2;

    explicit TfrmStatus(QWidget* parent = nullptr);
    ~TfrmStatus() override;

    // Replaces the box's contents with `lines`, one per line.
    void SetLines(const QStringList& lines);

    void reject() override;

private:
    void Button1Click();

    std::unique_ptr<Ui::TfrmStatus> ui;
};
