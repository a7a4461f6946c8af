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

    std::string AskPassword(const std::string& prefill) override;
    bool AskNextVolume(const std::string& currentVolume, std::string& name) override;

    // Tests receive each dialog just before it runs, to look at it and to
    // close it; an empty hook restores plain behaviour.
    static void SetDialogHook(std::function<void(QDialog&)> hook);

private:
    // Shows the dialog; `text` goes in pre-filled and comes out as typed.
    bool RunPrompt(const QString& caption, bool masked, QString& text);

    QPointer<QWidget> FParent;
};
