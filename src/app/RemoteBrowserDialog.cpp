#include "app/RemoteBrowserDialog.h"

#include "app/BackgroundWork.h"
#include "app/UserPrompter.h"
#include "config/NativePath.h"
#include "config/SettingsLocation.h"
#include "ftp/FtpSession.h"
#include "ftp/SftpSession.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <sys/stat.h>

namespace tarvik {

namespace {

const QString kConnectedSuffix = QStringLiteral(" に接続中です");
constexpr int kIconRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1; // the name as the server gave it; the text may differ

// Entries are shown, entered and fetched by the last blank-separated word of their name.
QString lastWord(const QString& name) { return name.mid(name.lastIndexOf(u' ') + 1); }

// A name from the server as it can be shown: control characters become visible symbols and
// direction overrides are dropped, so that no name can pass for another one.
QString shownSafely(const QString& name)
{
    QString shown = name;
    for (QChar& c : shown) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            c = QChar(char16_t(0x2400 + u)); // ␀ … ␟
        else if (u == 0x7F)
            c = QChar(char16_t(0x2421)); // ␡
        else if ((u >= 0x80 && u < 0xA0) || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            c = QChar(QChar::ReplacementCharacter);
    }
    return shown;
}

} // namespace

RemoteBrowserDialog::RemoteBrowserDialog(const QString& registrationName, const QString& host, const QString& user,
                                         const QString& password, bool passive, const QString& downloadRoot,
                                         UserPrompter& prompter,
                                         MainWindowHooks hooks, const FtpTimeouts& timeouts, QWidget* parent)
    : QDialog(parent), m_session(RemoteSession::forServer(host)), m_prompter(prompter), m_hooks(std::move(hooks)),
      m_downloadRoot(downloadRoot)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Tarvik"));
    auto* layout = new QVBoxLayout(this);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setHeaderLabels({QStringLiteral("ファイル名")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setUniformRowHeights(true);
    auto* registerButton = new QPushButton(QStringLiteral("登録"), this);
    registerButton->setObjectName(QStringLiteral("Command1"));
    registerButton->setAutoDefault(false);
    m_status = new QStatusBar(this);
    m_status->setObjectName(QStringLiteral("StatusBar1"));
    m_status->setSizeGripEnabled(false);
    layout->addWidget(m_label);
    layout->addWidget(m_list);
    layout->addWidget(registerButton, 0, Qt::AlignRight);
    layout->addWidget(m_status);
    resize(420, 480);
    connect(registerButton, &QPushButton::clicked, this, &RemoteBrowserDialog::RegisterSelectedFiles);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { enterSelected(); });

    m_label->setText(registrationName + kConnectedSuffix);
    m_session->serverName = host;
    m_session->userName = user;
    m_session->password = password;
    m_session->timeouts = timeouts;
    if (auto* ftp = dynamic_cast<FtpSession*>(m_session.get())) {
        ftp->passive = passive;
        if (m_hooks.trustedKey)
            ftp->trustedKey = m_hooks.trustedKey(host);
    }
    bool declined = false;
    const bool connected = dynamic_cast<SftpSession*>(m_session.get()) ? connectSftp(host, &declined)
                                                                       : connectFtp(host, &declined);
    QString directory;
    if (connected) {
        FillRemoteList();
        runWithBusyCursor([&] { directory = m_session->GetRemoteDirectory(); });
        m_status->showMessage(directory);
    } else if (!declined) {
        // Over TLS or SSH the reason matters: which check the server's certificate or key failed.
        const bool secure = RemoteSession::schemeOf(host) != u"ftp";
        const QString reason = secure ? u'\n' + m_session->lastError() : QString();
        m_prompter.message(this, QStringLiteral("接続に失敗しました！！") + reason, UserPrompter::Icon::Warning);
    }
}

bool RemoteBrowserDialog::connectNow()
{
    bool connected = false;
    runWithBusyCursor([&] {
        m_session->ConnectServer();
        connected = m_session->connected();
    });
    return connected;
}

bool RemoteBrowserDialog::connectFtp(const QString& host, bool* declined)
{
    auto* session = static_cast<FtpSession*>(m_session.get());
    bool connected = connectNow();
    // A TLS server whose certificate was refused: the user sees it and may trust its key.
    if (connected || !session->refusedCertificate() || !m_hooks.trustKey)
        return connected;
    const ServerCertificate seen = *session->refusedCertificate();
    const QString why = session->trustedKey.isEmpty()
        ? QStringLiteral("%1 の証明書を確認できませんでした。\n%2").arg(host, session->lastError())
        : QStringLiteral("%1 の証明書が、信頼した証明書と違います。サーバがなりすまされている恐れがあります。").arg(host);
    const QString question =
        why
        + QStringLiteral("\n\n発行先：%1\n発行者：%2\n有効期限：%3\nSHA-256：%4\n\n"
                         "この証明書を信頼して接続しますか？（この接続先では、これからはこの証明書の鍵だけを受け入れます）")
              .arg(seen.subject, seen.issuer, seen.expires, seen.sha256);
    *declined = !m_prompter.askYesNo(this, question);
    if (*declined)
        return false;
    m_hooks.trustKey(host, seen.pin);
    session->trustedKey = seen.pin;
    connected = connectNow();
    return connected;
}

bool RemoteBrowserDialog::connectSftp(const QString& host, bool* declined)
{
    auto* session = static_cast<SftpSession*>(m_session.get());
    bool connected = connectNow();
    const std::optional<SshHostKey> key = session->refusedHostKey();
    if (connected || !key)
        return connected;
    if (key->changed) {
        // As ssh does: a changed key may be an impersonation and is never simply accepted.
        m_prompter.message(this,
                           QStringLiteral("%1 のホスト鍵が、known_hosts（%2）に記録された鍵と違います。"
                                          "サーバがなりすまされている恐れがあるため、接続しません。\n\n"
                                          "%3 %4\n\n"
                                          "鍵が変わったことを管理者に確かめたうえで、known_hosts からこのホストの行を消してください。")
                               .arg(host, session->knownHostsFile.isEmpty() ? SftpSession::defaultKnownHostsFile()
                                                                            : session->knownHostsFile,
                                    key->type, key->fingerprint),
                           UserPrompter::Icon::Warning);
        *declined = true;
        return false;
    }
    const QString question =
        QStringLiteral("%1 のホスト鍵は known_hosts にありません。\n\n%2\n%3\n\n"
                       "このフィンガープリントがサーバのものと確かめられたら、この鍵を信頼して接続しますか？"
                       "（known_hosts に記録し、これからはこの鍵だけを受け入れます）")
            .arg(host, key->type, key->fingerprint);
    *declined = !m_prompter.askYesNo(this, question);
    if (*declined)
        return false;
    session->acceptedHostKey = key->blob;
    connected = connectNow();
    if (!session->hostKeyNotRemembered().isEmpty())
        m_prompter.message(this,
                           QStringLiteral("ホスト鍵を known_hosts に記録できませんでした。次回もたずねます。\n%1")
                               .arg(session->hostKeyNotRemembered()),
                           UserPrompter::Icon::Warning);
    return connected;
}

RemoteBrowserDialog::~RemoteBrowserDialog()
{
    if (!m_disconnected)
        m_session->DisconnectServer();
}

QString RemoteBrowserDialog::currentDirectory() const { return m_status->currentMessage(); }

void RemoteBrowserDialog::FillRemoteList()
{
    m_list->clear();
    const QIcon icons[] = {{}, style()->standardIcon(QStyle::SP_DirIcon), style()->standardIcon(QStyle::SP_FileIcon),
                           style()->standardIcon(QStyle::SP_FileDialogToParent)};
    auto item = [&icons](const QString& name, int icon) {
        auto* item = new QTreeWidgetItem(QStringList{shownSafely(name)});
        item->setIcon(0, icons[icon]);
        item->setData(0, kIconRole, icon);
        item->setData(0, kNameRole, name);
        return item;
    };
    m_list->addTopLevelItem(item(QStringLiteral(".."), ParentIcon));
    FtpListing listing;
    runWithBusyCursor([&] { listing = m_session->ListRemoteEntries(); });
    if (listing.lastIndex() < 0)
        return;
    auto isDirectory = [](const FtpEntry& e) { return e.attributes == 0 || (e.attributes & FtpEntry::kDirectory); };
    // Added in one go: a directory may hold a hundred thousand entries.
    QList<QTreeWidgetItem*> items;
    items.reserve(listing.entries.size());
    for (bool directories : {true, false}) {
        for (const FtpEntry& e : std::as_const(listing.entries)) {
            const QString shown = lastWord(e.name);
            if (isDirectory(e) == directories && shown != u"." && shown != u"..")
                items.append(item(shown, directories ? DirectoryIcon : FileIcon));
        }
    }
    m_list->addTopLevelItems(items);
}

void RemoteBrowserDialog::enterSelected()
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem* item = m_list->currentItem() && m_list->currentItem()->isSelected() ? m_list->currentItem()
                                                                                         : selected.first();
    const int icon = item->data(0, kIconRole).toInt();
    const QString here = m_status->currentMessage();
    QString target;
    if (icon == DirectoryIcon) {
        target = here + u'/' + item->data(0, kNameRole).toString(); // from "/" this is "//name", sent so
    } else if (icon == ParentIcon) {
        const qsizetype slash = here.lastIndexOf(u'/');
        target = slash < 0 ? QString() : here.left(slash + 1);
    } else {
        RegisterSelectedFiles();
        return;
    }
    if (target.isEmpty())
        return;
    bool changed = false;
    runWithBusyCursor([&] { changed = m_session->ChangeRemoteDirectory(target); });
    if (!changed) {
        m_prompter.message(this, QStringLiteral("ディレクトリが存在するか確認して下さい！"), UserPrompter::Icon::Warning);
        return;
    }
    FillRemoteList();
    QString directory;
    runWithBusyCursor([&] { directory = m_session->GetRemoteDirectory(); });
    m_status->showMessage(directory);
}

QString RemoteBrowserDialog::downloadFolder() const
{
    QString name = m_label->text();
    if (name.endsWith(kConnectedSuffix))
        name.chop(kConnectedSuffix.size());
    return m_downloadRoot + u'/' + name;
}

void RemoteBrowserDialog::RegisterSelectedFiles()
{
    if (m_hooks.showStatus)
        m_hooks.showStatus(QStringLiteral("登録中"));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QStringList names;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->isSelected() && item->data(0, kIconRole).toInt() == FileIcon)
            names << item->data(0, kNameRole).toString();
    }
    const QString folder = downloadFolder();
    int count = 0;
    for (const QString& name : std::as_const(names)) {
        const QString local = folder + u'/' + name;
        if (m_hooks.isListed && m_hooks.isListed(local))
            continue;
        // The name comes from the server: it must not lead out of the download folder.
        bool fetched = false;
        if (!name.contains(u'/') && name != u"." && name != u"..") {
            // The per-user data folder may not exist yet; the program's own folder always does.
            makeUserFolders(m_downloadRoot);
            ::mkdir(pathToNative(folder).c_str(), 0777); // one level
            runWithBusyCursor([&] { fetched = m_session->FetchRemoteFile(name, local); });
        }
        if (!fetched) {
            QApplication::restoreOverrideCursor();
            m_prompter.message(this, QStringLiteral("ファイルの取得に失敗しました！！ >> [") + shownSafely(name) + u']',
                               UserPrompter::Icon::Warning);
            QApplication::setOverrideCursor(Qt::WaitCursor);
            continue;
        }
        if (m_hooks.registerPath)
            m_hooks.registerPath(local);
        ++count;
    }
    QApplication::restoreOverrideCursor();
    if (m_hooks.showTimedStatus)
        m_hooks.showTimedStatus(QStringLiteral("登録数は%1ファイルです").arg(count));
}

void RemoteBrowserDialog::done(int result)
{
    if (!m_disconnected) {
        m_disconnected = true;
        RemoteSession::DisconnectResult r;
        runWithBusyCursor([&] { r = m_session->DisconnectServer(); });
        if (!r.ftpClosed)
            m_prompter.message(this, QStringLiteral("FTPの切断に失敗しました！"), UserPrompter::Icon::Warning);
        if (!r.internetClosed)
            m_prompter.message(this, QStringLiteral("INTERNETの切断に失敗しました！"), UserPrompter::Icon::Warning);
    }
    QDialog::done(result);
}

} // namespace tarvik
