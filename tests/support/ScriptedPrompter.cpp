#include "support/ScriptedPrompter.h"

#include <QTest>

namespace tarvik::test {

namespace {
const char* kindName(ScriptedPrompter::Kind k)
{
    static const char* names[] = {"message", "yes/no question", "ok/cancel question", "open-files dialog",
                                  "folder dialog", "save dialog"};
    return names[static_cast<int>(k)];
}
} // namespace

ScriptedPrompter::~ScriptedPrompter()
{
    if (!m_steps.empty())
        QTest::qFail(qPrintable(QStringLiteral("expected prompt never came: %1 \"%2\"")
                                    .arg(QString::fromLatin1(kindName(m_steps.front().kind)), m_steps.front().text)),
                     __FILE__, __LINE__);
}

ScriptedPrompter& ScriptedPrompter::expect(Kind kind, const QString& text, QStringList answer, std::function<void()> during)
{
    m_steps.push_back({kind, text, std::move(answer), std::move(during)});
    return *this;
}

QStringList ScriptedPrompter::next(Kind kind, const QString& text)
{
    if (m_steps.empty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected %1: \"%2\"").arg(QString::fromLatin1(kindName(kind)), text)),
                     __FILE__, __LINE__);
        return {};
    }
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    if (step.kind != kind || (!step.text.isEmpty() && step.text != text)) {
        QTest::qFail(qPrintable(QStringLiteral("expected %1 \"%2\", got %3 \"%4\"")
                                    .arg(QString::fromLatin1(kindName(step.kind)), step.text,
                                         QString::fromLatin1(kindName(kind)), text)),
                     __FILE__, __LINE__);
    }
    if (step.during)
        step.during();
    return step.answer;
}

void ScriptedPrompter::message(QWidget*, const QString& text, Icon icon)
{
    messages << text;
    lastIcon = icon;
    next(Kind::Message, text);
}

bool ScriptedPrompter::askYesNo(QWidget*, const QString& text, bool)
{
    questions << text;
    return next(Kind::YesNo, text).value(0) == u"yes";
}

bool ScriptedPrompter::askOkCancel(QWidget*, const QString& text)
{
    return next(Kind::OkCancel, text).value(0) == u"ok";
}

QStringList ScriptedPrompter::openFiles(QWidget*, const QString& title, const QString& directory, const QString& filter)
{
    lastDirectory = directory;
    lastFilter = filter;
    return next(Kind::OpenFiles, title);
}

QString ScriptedPrompter::chooseFolder(QWidget*, const QString& title, const QString& directory)
{
    lastDirectory = directory;
    return next(Kind::ChooseFolder, title).value(0);
}

QString ScriptedPrompter::saveFile(QWidget*, const QString& title, const QString& directory, const QString& filter)
{
    lastDirectory = directory;
    lastFilter = filter;
    return next(Kind::SaveFile, title).value(0);
}

} // namespace tarvik::test
