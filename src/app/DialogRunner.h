#pragma once

class QDialog;

namespace tarvik {

// Shows the program's own modal dialogs. Tests put a runner in its place that fills the
// dialog's widgets and presses its buttons instead of waiting for a person.
class DialogRunner {
public:
    virtual ~DialogRunner() = default;
    virtual void run(QDialog& dialog) = 0;
};

class ModalDialogRunner : public DialogRunner {
public:
    void run(QDialog& dialog) override;
};

} // namespace tarvik
