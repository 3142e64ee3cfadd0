#include "app/AboutDialog.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace tarvik;

namespace {

QString labelText(const QDialog& dialog, const char* name)
{
    const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing>");
}

QStringList shownTexts(const QDialog& dialog)
{
    QStringList texts{dialog.windowTitle()};
    for (const char* name : {"lblTitle", "lblVersion", "lblDescription", "Label1", "lblDisclaimer"})
        texts.append(labelText(dialog, name));
    return texts;
}

} // namespace

class AboutDialogTest : public QObject {
    Q_OBJECT

private slots:
    void fixedTexts()
    {
        AboutDialog dialog;
        QCOMPARE(dialog.objectName(), QStringLiteral("frmAbout"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Tarvik ﾊﾞｰｼﾞｮﾝ情報"));
        QCOMPARE(labelText(dialog, "lblTitle"), QStringLiteral("Tarvik"));
        QCOMPARE(labelText(dialog, "lblVersion"), QStringLiteral("Ver 3.0.00   更新日 ： 2004.05.09"));
        QCOMPARE(labelText(dialog, "lblDisclaimer"), QStringLiteral("警告: なし"));
        QVERIFY(!labelText(dialog, "lblDescription").isEmpty());
        QVERIFY(!labelText(dialog, "Label1").isEmpty());
        const auto* icon = dialog.findChild<QLabel*>(QStringLiteral("picIcon"));
        QVERIFY(icon && !icon->pixmap().isNull());
        int lines = 0;
        for (const QFrame* frame : dialog.findChildren<QFrame*>())
            lines += frame->frameShape() == QFrame::HLine;
        QCOMPARE(lines, 2);
    }

    void okClosesAndShowsTheSameAgain()
    {
        AboutDialog dialog;
        const QStringList first = shownTexts(dialog);
        for (int showing = 0; showing < 2; ++showing) {
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"));
            QVERIFY(ok);
            QCOMPARE(ok->text(), QStringLiteral("OK"));
            QTest::mouseClick(ok, Qt::LeftButton);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(shownTexts(dialog), first);
        }
        QCOMPARE(shownTexts(AboutDialog()), first);
    }
};

QTEST_MAIN(AboutDialogTest)
#include "AboutDialogTest.moc"
