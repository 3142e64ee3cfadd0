#pragma once

#include "app/UserPrompter.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

namespace tarvik::test {

// Answers prompts from a script, in order, and fails the test on a prompt it did not expect
// or whose text differs. Messages are recorded; unanswered script entries fail at the end.
class ScriptedPrompter : public UserPrompter {
public:
    enum class Kind { Message, YesNo, OkCancel, OpenFiles, ChooseFolder, SaveFile };

    struct Step {
        Kind kind;
        QString text; // message or question text, or dialog title; empty matches any
        QStringList answer; // files, folder or file name; for questions "yes"/"ok" means yes
        std::function<void()> during; // runs while the prompt is "open"
    };

    ~ScriptedPrompter() override;

    ScriptedPrompter& expect(Kind kind, const QString& text, QStringList answer = {}, std::function<void()> during = {});
    bool done() const { return m_steps.empty(); }
    QStringList messages; // every message text shown
    QStringList questions; // every question asked

    void message(QWidget* parent, const QString& text, Icon icon) override;
    bool askYesNo(QWidget* parent, const QString& text, bool defaultYes) override;
    bool askOkCancel(QWidget* parent, const QString& text) override;
    QStringList openFiles(QWidget* parent, const QString& title, const QString& directory, const QString& filter) override;
    QString chooseFolder(QWidget* parent, const QString& title, const QString& directory) override;
    QString saveFile(QWidget* parent, const QString& title, const QString& directory, const QString& filter) override;

    QString lastDirectory; // the directory the last dialog opened in
    QString lastFilter;
    Icon lastIcon = Icon::None;

private:
    QStringList next(Kind kind, const QString& text);
    std::deque<Step> m_steps;
};

} // namespace tarvik::test
