// The save and print commands of the main window, on real files: logs written to disk and pages
// rendered to PDF through the printer path, read back with pdftotext.
#include "app/MainWindow.h"
#include "app/StatusMessage.h"
#include "cli/CountCommand.h"
#include "output/ResultGridModel.h"

#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QApplication>
#include <QListView>
#include <QMimeData>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include <memory>
#include <sstream>

using namespace tarvik;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;
using Kind = ScriptedPrompter::Kind;

namespace {
const QByteArray kIni = "[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";
const QString kNoPrinter = QStringLiteral("既定のプリンタがありません。\n印刷結果をPDFファイルに保存しますか？");
} // namespace

class SaveAndPrintTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingLauncher> m_launcher;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_files;

    void registerAndRun(const QStringList& paths)
    {
        test::dropFiles(*m_window, paths);
        m_window->RunAnalysis();
    }
    QStringList makeFiles(int n, const QString& stem = QStringLiteral("file"))
    {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << m_dir->write(QStringLiteral("src/%1%2.c").arg(stem).arg(i, 2, 10, QChar(u'0')), "x;\n// c\n");
        return out;
    }
    // The text of a PDF, one string per page.
    static QStringList pdfPages(const QString& pdf)
    {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return {};
        QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(u'\f');
        if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
            pages.removeLast();
        // Text extraction spaces out wide characters: compare the text without blanks.
        for (QString& page : pages)
            page.remove(QRegularExpression(QStringLiteral("\\s")));
        return pages;
    }
    QStringList printToPdf()
    {
        const QString pdf = m_dir->path(QStringLiteral("out.pdf"));
        QFile::remove(pdf);
        m_prompter->expect(Kind::OkCancel, QStringLiteral("印刷しますか"), {QStringLiteral("ok")})
            .expect(Kind::YesNo, kNoPrinter, {QStringLiteral("yes")})
            .expect(Kind::SaveFile, {}, {pdf});
        m_window->findChild<QAction*>(QStringLiteral("Mn_FilePrint"))->trigger();
        if (qEnvironmentVariableIsSet("TARVIK_KEEP_PDF"))
            QFile::copy(pdf, QString::fromLocal8Bit(qgetenv("TARVIK_KEEP_PDF")));
        return pdfPages(pdf);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_launcher = std::make_unique<RecordingLauncher>();
        m_dir->write(QStringLiteral("Tarvik.ini"), kIni);
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        m_window->setPrinterSource([] { return std::unique_ptr<QPrinter>(); }); // no printer here
    }
    void cleanup()
    {
        m_window.reset();
        QVERIFY(m_prompter->done());
    }

    void savingWithoutAReportSaysThereIsNothing()
    {
        m_prompter->expect(Kind::Message, QStringLiteral("保存可能データが存在しません"));
        m_window->findChild<QAction*>(QStringLiteral("Mn_FileSave"))->trigger();
        registerAndRun({}); // a run over an empty list leaves the report empty too
        m_prompter->expect(Kind::Message, QStringLiteral("保存可能データが存在しません"));
        m_window->findChild<QAction*>(QStringLiteral("保存"))->trigger();
    }

    void savedLogIsByteIdenticalToTheCommandLineReport()
    {
        const QStringList files = makeFiles(3) << m_dir->path(QStringLiteral("src/missing.c"));
        registerAndRun(files);
        const QString log = m_dir->path(QStringLiteral("run.tvk"));
        m_prompter->expect(Kind::SaveFile, {}, {log});
        m_window->SaveLog();
        QCOMPARE(m_prompter->lastFilter, QStringLiteral("ログファイル (*.tvk)"));

        std::ostringstream out, err;
        CountCommand cli({m_dir->path(QStringLiteral("Tarvik.ini")), m_dir->path(), false, false, 2});
        QCOMPARE(cli.execute(QStringList{QStringLiteral("--format"), QStringLiteral("report")} + files, out, err), 0);
        QCOMPARE(m_dir->read(QStringLiteral("run.tvk")), QByteArray::fromStdString(out.str()));

        // Saving again to the same name replaces the file with the new report.
        registerAndRun({});
        registerAndRun({files[0]});
        m_window->findChild<QListView*>(QStringLiteral("List1"));
        m_prompter->expect(Kind::SaveFile, {}, {log});
        m_window->SaveLog();
        QCOMPARE(m_dir->read(QStringLiteral("run.tvk")), QString(m_window->reportText() + QStringLiteral("\r\n")).toUtf8());
    }

    void aFailedSaveNamesTheFileAndTheReason()
    {
        registerAndRun(makeFiles(1));
        const QString bad = m_dir->path(QStringLiteral("no/such/folder/run.tvk"));
        m_prompter->expect(Kind::SaveFile, {}, {bad}).expect(Kind::Message, {});
        m_window->SaveLog();
        QVERIFY(m_prompter->messages.last().startsWith(QStringLiteral("ログファイルを保存できませんでした。\n") + bad + u'\n'));
        QCOMPARE(m_prompter->lastIcon, UserPrompter::Icon::Warning);
        // Cancelling the dialog does nothing.
        m_prompter->expect(Kind::SaveFile, {}, {});
        m_window->SaveLog();
    }

    void printingNeedsResultsAndConsent()
    {
        m_prompter->expect(Kind::Message, QStringLiteral("印刷可能データが存在しません"));
        m_window->PrintResults();
        registerAndRun(makeFiles(1));
        m_prompter->expect(Kind::OkCancel, QStringLiteral("印刷しますか"), {QStringLiteral("cancel")});
        m_window->findChild<QAction*>(QStringLiteral("印刷"))->trigger();
        m_prompter->expect(Kind::OkCancel, {}, {QStringLiteral("ok")}).expect(Kind::YesNo, kNoPrinter, {QStringLiteral("no")});
        m_window->PrintResults();
    }

    void thirtyNineFilesFitOnePage()
    {
        registerAndRun(makeFiles(39));
        const QStringList pages = printToPdf();
        QCOMPARE(pages.size(), 1);
        QVERIFY(pages[0].startsWith(QStringLiteral("解析結果ProcID実行行コメント行総行数")));
        QVERIFY(pages[0].contains(QStringLiteral("KStepです")));
    }

    void fortyFilesPutTheTotalsOnASecondPageWithItsHeading()
    {
        QStringList files = makeFiles(39);
        files << m_dir->write(QStringLiteral("src/abcdefghijklmnopqr.c"), "x;\n"); // 20 characters
        registerAndRun(files);
        const QStringList pages = printToPdf();
        QCOMPARE(pages.size(), 2);
        for (const QString& page : pages)
            QVERIFY(page.startsWith(QStringLiteral("解析結果ProcID実行行コメント行総行数")));
        QVERIFY(pages[0].contains(QStringLiteral("abcdefghijklmno101")));
        QVERIFY(!pages[0].contains(QStringLiteral("abcdefghijklmnop")));
        QVERIFY(!pages[0].contains(QStringLiteral("KStep")));
        QVERIFY(pages[1].endsWith(QStringLiteral("解析結果0.040KStepです") + StatusMessage::todayText().remove(u' ') + QStringLiteral("Tarvik")));
    }

    void outcomeTextsArePrintedWhole()
    {
        m_dir->write(QStringLiteral("src/notes.txt"), "x\n");
        registerAndRun({m_dir->path(QStringLiteral("src/gone.c")), m_dir->path(QStringLiteral("src/notes.txt"))});
        const QStringList pages = printToPdf();
        QCOMPARE(pages.size(), 1);
        QVERIFY(pages[0].contains(QStringLiteral("ファイル未存在")));
        QVERIFY(pages[0].contains(QStringLiteral("不明なファイル")));
    }

    void aPrinterGetsTheSamePagesWithoutTheQuestion()
    {
        const QString target = m_dir->path(QStringLiteral("printer.pdf"));
        m_window->setPrinterSource([&] {
            auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(target);
            return p;
        });
        registerAndRun(makeFiles(2));
        m_prompter->expect(Kind::OkCancel, QStringLiteral("印刷しますか"), {QStringLiteral("ok")});
        m_window->PrintResults();
        QCOMPARE(pdfPages(target).size(), 1);

        // A printer that cannot start says so.
        const QString broken = m_dir->path(QStringLiteral("no/such/folder/p.pdf"));
        m_window->setPrinterSource([&] {
            auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(broken);
            return p;
        });
        m_prompter->expect(Kind::OkCancel, {}, {QStringLiteral("ok")}).expect(Kind::Message, {});
        m_window->PrintResults();
        QVERIFY(m_prompter->messages.last().startsWith(QStringLiteral("印刷できませんでした。\n") + broken));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }
};

QTEST_MAIN(SaveAndPrintTest)
#include "SaveAndPrintTest.moc"
