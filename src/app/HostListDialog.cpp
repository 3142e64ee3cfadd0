#include "app/HostListDialog.h"

#include "app/UserPrompter.h"
#include "ftp/FtpHostList.h"
#include "ftp/FtpSession.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace tarvik {

HostListDialog::HostListDialog(FtpHostList& hosts, UserPrompter& prompter, Connect onConnect, QWidget* parent)
    : QDialog(parent), m_hosts(hosts), m_prompter(prompter), m_connect(std::move(onConnect))
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Tarvik"));
    auto* grid = new QGridLayout(this);
    auto* label1 = new QLabel(QStringLiteral("ホスト一覧"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("List1"));
    grid->addWidget(label1, 0, 0, 1, 2);
    grid->addWidget(m_list, 1, 0, 1, 2);
    const char16_t* captions[] = {u"登録名", u"接続先", u"ユーザ名", u"パスワード"};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(QString::fromUtf16(captions[i]), this);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 2));
        m_text[i] = new QLineEdit(this);
        m_text[i]->setObjectName(QStringLiteral("Text%1").arg(i + 1));
        grid->addWidget(label, 2 + i, 0);
        grid->addWidget(m_text[i], 2 + i, 1);
    }
    m_text[1]->setToolTip(QStringLiteral("ホスト名[:ポート]（FTP）、ftps://ホスト名[:ポート]（FTP over TLS）、"
                                         "sftp://ホスト名[:ポート]（SFTP）"));
    // Passive mode works behind NAT and firewalls; active stays the default of plain FTP.
    m_passive = new QCheckBox(QStringLiteral("パッシブモード"), this);
    m_passive->setObjectName(QStringLiteral("Check1"));
    grid->addWidget(m_passive, 6, 1);
    m_text[0]->setMaxLength(15);
    m_text[3]->setEchoMode(QLineEdit::Password);
    m_text[3]->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*", not the style's "●"
    auto button = [this, grid](const char* name, const QString& caption, int column) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        grid->addWidget(b, 7, column);
        return b;
    };
    m_connectButton = button("Command1", QStringLiteral("接続"), 0);
    m_registerButton = button("Command2", QStringLiteral("登録"), 1);
    m_deleteButton = button("Command3", QStringLiteral("削除"), 1);
    grid->addWidget(m_deleteButton, 8, 1);
    connect(m_connectButton, &QPushButton::clicked, this, &HostListDialog::Command1_Click);
    connect(m_registerButton, &QPushButton::clicked, this, &HostListDialog::Command2_Click);
    connect(m_deleteButton, &QPushButton::clicked, this, &HostListDialog::Command3_Click);
    // The entry chosen, by a click or with the keys, fills the boxes; so does a click on the entry
    // already chosen, after the boxes were edited.
    connect(m_list, &QListWidget::itemClicked, this, &HostListDialog::selectEntry);
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_list->selectedItems().isEmpty())
            selectEntry();
    });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] {
        if (m_connectButton->isEnabled())
            Command1_Click();
    });
    // A scheme typed brings its mode, until the user chooses one.
    connect(m_text[1], &QLineEdit::textEdited, this, [this](const QString& host) {
        if (!m_passiveChosen)
            m_passive->setChecked(FtpSession::isTls(host));
    });
    // SFTP has one connection and no data connections: the mode means nothing there.
    connect(m_text[1], &QLineEdit::textChanged, this, [this](const QString& host) {
        m_passive->setEnabled(RemoteSession::schemeOf(host) != u"sftp");
    });
    connect(m_passive, &QCheckBox::clicked, this, [this] {
        m_passiveChosen = true;
        setButtons(false, !m_text[0]->text().trimmed().isEmpty() && !m_text[1]->text().trimmed().isEmpty(), false);
    });
    // Any edit must be registered before connecting or deleting again.
    for (int i = 0; i < 4; ++i) {
        connect(m_text[i], &QLineEdit::textChanged, this, [this, i] {
            const bool nameOrHost = i < 2;
            setButtons(false,
                       nameOrHost ? !m_text[0]->text().trimmed().isEmpty() && !m_text[1]->text().trimmed().isEmpty()
                                  : m_registerButton->isEnabled(),
                       false);
        });
    }
    for (const QString& name : m_hosts.names())
        m_list->addItem(name);
    setButtons(false, false, false);
}

void HostListDialog::setButtons(bool connectOn, bool registerOn, bool deleteOn)
{
    m_connectButton->setEnabled(connectOn);
    m_registerButton->setEnabled(registerOn);
    m_deleteButton->setEnabled(deleteOn);
}

void HostListDialog::selectEntry()
{
    // The entry shown as chosen; the keys select an entry before it becomes the current one.
    const QList<QListWidgetItem*> chosen = m_list->selectedItems();
    const QString name = chosen.size() == 1 ? chosen.first()->text() : QString();
    QString keyringError;
    const QStringList fields = m_hosts.record(name, &keyringError);
    if (!keyringError.isEmpty())
        m_prompter.message(this, QStringLiteral("パスワードをキーリングから読めませんでした。\n%1").arg(keyringError),
                           UserPrompter::Icon::Warning);
    for (int i = 0; i < 4 && i < fields.size(); ++i)
        m_text[i]->setText(fields[i]);
    if (!fields.isEmpty()) { // after a registration nothing may be selected: the boxes stay
        m_passive->setChecked(FtpHostList::passiveMode(fields));
        m_passiveChosen = !fields.value(4).isEmpty();
    }
    setButtons(true, true, true);
}

void HostListDialog::Command1_Click()
{
    m_connect(m_text[0]->text(), m_text[1]->text(), m_text[2]->text(), m_text[3]->text(), m_passive->isChecked());
}

void HostListDialog::Command2_Click()
{
    QString error;
    const FtpHostList::Registered result =
        m_hosts.registerHost(m_text[0]->text(), m_text[1]->text(), m_text[2]->text(), m_text[3]->text(), &error,
                             m_passive->isChecked());
    if (result == FtpHostList::Registered::Failed) {
        m_prompter.message(this, error, UserPrompter::Icon::Warning);
        return;
    }
    if (result == FtpHostList::Registered::Added)
        m_list->addItem(m_text[0]->text());
    selectEntry();
}

void HostListDialog::Command3_Click()
{
    QListWidgetItem* item = m_list->currentItem();
    if (!item || !item->isSelected())
        return; // nothing chosen to delete
    QString error;
    if (!m_hosts.deleteHost(item->text(), &error)) {
        m_prompter.message(this, error, UserPrompter::Icon::Warning);
        return;
    }
    {
        // Taking the entry out moves the selection; that is no choice of the user's.
        const QSignalBlocker quiet(m_list);
        delete m_list->takeItem(m_list->row(item));
        m_list->setCurrentRow(-1);
    }
    for (QLineEdit* t : m_text)
        t->clear();
    m_passive->setChecked(false);
    m_passiveChosen = false;
    setButtons(false, false, false);
}

} // namespace tarvik
