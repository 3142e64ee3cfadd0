// The real message boxes and file dialogs of the program, built as they are shown but looked at
// instead of being run: Qt's own texts in Japanese, the print question, the saved file's name.
#include "app/QtTranslation.h"
#include "app/UserPrompter.h"

#include "support/TempDir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace tarvik;
using tarvik::test::TempDir;

class DialogPrompterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The tests run under LC_ALL=C.UTF-8: the translation does not wait for a Japanese locale.
        QVERIFY(installQtJapanese(*QCoreApplication::instance()));
    }

    void questionsAndFileDialogsSpeakJapanese()
    {
        auto exit = DialogPrompter::yesNoBox(nullptr, QStringLiteral("終了しますか？"), false);
        QVERIFY2(exit->button(QMessageBox::Yes)->text().startsWith(QStringLiteral("はい")),
                 qPrintable(exit->button(QMessageBox::Yes)->text()));
        QVERIFY(exit->button(QMessageBox::No)->text().startsWith(QStringLiteral("いいえ")));
        auto print = DialogPrompter::okCancelBox(nullptr, QStringLiteral("印刷しますか"));
        QVERIFY(print->button(QMessageBox::Cancel)->text().startsWith(QStringLiteral("キャンセル")));

        TempDir dir;
        auto save = DialogPrompter::saveFileDialog(nullptr, QStringLiteral("名前を付けて保存"), dir.path(),
                                                   QStringLiteral("ログファイル (*.tvk)"));
        save->setOption(QFileDialog::DontUseNativeDialog);
        QVERIFY(save->findChild<QLabel*>(QStringLiteral("fileNameLabel"))->text().startsWith(QStringLiteral("ファイル名")));
        QCOMPARE(save->findChild<QLabel*>(QStringLiteral("lookInLabel"))->text().contains(QStringLiteral("Look in")), false);
        QStringList buttons;
        for (QAbstractButton* b : save->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->buttons())
            buttons << b->text();
        QVERIFY2(buttons.filter(QStringLiteral("保存")).size() == 1 && buttons.filter(QStringLiteral("キャンセル")).size() == 1,
                 qPrintable(buttons.join(u' ')));
        // The folder chooser of the basic settings has no title of its own: Qt's is Japanese too.
        auto folder = DialogPrompter::folderDialog(nullptr, QString(), dir.path());
        folder->setOption(QFileDialog::DontUseNativeDialog);
        QVERIFY2(!folder->windowTitle().isEmpty() && folder->windowTitle() != QStringLiteral("Find Directory"),
                 qPrintable(folder->windowTitle()));
    }

    void thePrintQuestionShowsNoIcon()
    {
        QCOMPARE(DialogPrompter::okCancelBox(nullptr, QStringLiteral("印刷しますか"))->icon(), QMessageBox::NoIcon);
    }

    void aNameTypedWithoutExtensionGetsTheFiltersOne()
    {
        TempDir dir;
        const struct {
            const char16_t* filter;
            const char16_t* typed;
            const char16_t* saved;
        } cases[] = {
            {u"ログファイル (*.tvk)", u"result", u"result.tvk"},
            {u"CSVファイル (*.csv)", u"result", u"result.csv"},
            {u"PDFファイル (*.pdf)", u"result", u"result.pdf"},
            {u"ログファイル (*.tvk)", u"result.txt", u"result.txt"}, // a name with an extension keeps it
        };
        for (const auto& c : cases) {
            auto save = DialogPrompter::saveFileDialog(nullptr, QStringLiteral("保存"), dir.path(), QString::fromUtf16(c.filter));
            save->setOption(QFileDialog::DontUseNativeDialog);
            save->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromUtf16(c.typed));
            QCOMPARE(save->selectedFiles(), QStringList{dir.path(QString::fromUtf16(c.saved))});
        }
    }
};

QTEST_MAIN(DialogPrompterTest)
#include "DialogPrompterTest.moc"
