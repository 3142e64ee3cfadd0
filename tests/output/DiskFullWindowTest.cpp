// The window on a full file system: a log save says it failed and why and keeps the old log;
// the toggles and the exit keep Tarvik.ini whole, without a message of their own.
#include "app/MainWindow.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/SmallFileSystem.h"
#include "support/TempDir.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QFile>
#include <QTest>

#include <memory>

using namespace tarvik;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedPrompter;
using tarvik::test::SmallFileSystem;
using tarvik::test::TempDir;
using Kind = ScriptedPrompter::Kind;

namespace {

const QByteArray kIni = "[Mode]\r\nCount_Mode=1\r\n[DIR]\r\nState=0\r\n[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n"
                        "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class DiskFullWindowTest : public QObject {
    Q_OBJECT

private slots:
    void aFullDiskLosesNothingAndTheLogSaveSaysSo()
    {
        SmallFileSystem fs(64);
        if (!fs.mounted())
            QSKIP(qPrintable(QStringLiteral("cannot mount a small tmpfs: ") + fs.error()));
        TempDir src;
        const QString ini = fs.path(QStringLiteral("Tarvik.ini"));
        const QString log = fs.path(QStringLiteral("run.tvk"));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kIni);
        f.close();
        QFile l(log);
        QVERIFY(l.open(QIODevice::WriteOnly));
        l.write("old log\r\n");
        l.close();

        ScriptedPrompter prompter;
        RecordingLauncher launcher;
        auto window = std::make_unique<MainWindow>(ini, prompter, launcher);
        QVERIFY(test::dropFiles(*window, {src.write(QStringLiteral("a.c"), "x;\n// c\n")}));
        window->RunAnalysis();
        fs.fill(0);

        prompter.expect(Kind::SaveFile, {}, {log}).expect(Kind::Message, {});
        window->SaveLog();
        const QString shown = prompter.messages.last();
        QVERIFY2(shown.startsWith(QStringLiteral("ログファイルを保存できませんでした。\n") + log + u'\n'), qPrintable(shown));
        QVERIFY2(shown.size() > QStringLiteral("ログファイルを保存できませんでした。\n").size() + log.size() + 1, qPrintable(shown));
        QCOMPARE(prompter.lastIcon, UserPrompter::Icon::Warning);
        QCOMPARE(readAll(log), QByteArray("old log\r\n"));

        // Single-key writes fail silently (no prompt is scripted), and the file stays whole.
        window->findChild<QAction*>(QStringLiteral("Mn_Kigou"))->trigger();
        QVERIFY(!window->findChild<QAction*>(QStringLiteral("Mn_Kigou"))->isChecked());
        prompter.expect(Kind::YesNo, QStringLiteral("終了しますか？"), {QStringLiteral("yes")});
        QVERIFY(window->close());
        window.reset();
        QCOMPARE(readAll(ini), kIni);
        QVERIFY(prompter.done());
    }
};

QTEST_MAIN(DiskFullWindowTest)
#include "DiskFullWindowTest.moc"
