#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "archive/UnRarPrompts.h"

class QDialog;

// The engine's two questions as small modal Qt dialogs, built at run time.
class TQtUnRarPrompts : public IUnRarPrompts {
public:
    explicit TQtUnRarPrompts(QWidget* parent = nullptr);

    std::string AskPassword(const std::string& prefill, const TPasswordRequest& request) override;
    bool AskNextVolume(const std::string& currentVolume, std::string& name) override;

    // Tests receive each dialog just before it runs, to look at it and to
    // close it; an empty hook restores plain behaviour.
    static void SetDialogHook(std::function<void(QDialog&)> hook);

private:
    // Shows the dialog; `text` goes in pre-filled and comes out as typed. A
    // `note` stands on a line of its own above the field.
    bool RunPrompt(const QString& caption, bool masked, QString& text, const QString& note = {});

    QPointer<QWidget> FParent;
};
