#pragma once

#include "app/DialogRunner.h"

#include <QDialog>
#include <QTest>

#include <deque>
#include <functional>

namespace tarvik::test {

// Plays the person in front of the program's own dialogs: each dialog that would be shown
// modally is handed to the next step of the script, which fills it and presses its buttons.
class ScriptedDialogRunner : public DialogRunner {
public:
    using Step = std::function<void(QDialog&)>;

    ~ScriptedDialogRunner() override
    {
        if (!m_steps.empty())
            QTest::qFail("a scripted dialog never opened", __FILE__, __LINE__);
    }
    ScriptedDialogRunner& then(Step step)
    {
        m_steps.push_back(std::move(step));
        return *this;
    }
    void run(QDialog& dialog) override
    {
        if (m_steps.empty()) {
            QTest::qFail(qPrintable(QStringLiteral("unexpected dialog %1").arg(dialog.objectName())), __FILE__, __LINE__);
            return;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        step(dialog);
    }
    bool done() const { return m_steps.empty(); }

private:
    std::deque<Step> m_steps;
};

} // namespace tarvik::test
