#pragma once

#include "ftp/RemoteSession.h"

#include <QDialog>

#include <functional>
#include <memory>

class QLabel;
class QStatusBar;
class QTreeWidget;

namespace tarvik {

class UserPrompter;

// Form5: walks an FTP or SFTP server's directories and registers chosen files, which are downloaded
// into a folder named by the registration name and added to the analysis list.
class RemoteBrowserDialog : public QDialog {
    Q_OBJECT
public:
    // What the browser needs of the main window.
    struct MainWindowHooks {
        std::function<bool(const QString& path)> isListed;
        std::function<void(const QString& path)> registerPath;
        std::function<void(const QString& text)> showStatus;      // stays until the next message
        std::function<void(const QString& text)> showTimedStatus; // the 3-second message
        // The public key trusted for a TLS server, and the user's trust in another one.
        std::function<QByteArray(const QString& host)> trustedKey;
        std::function<bool(const QString& host, const QByteArray& pin)> trustKey;
    };
    enum Icon { DirectoryIcon = 1, FileIcon = 2, ParentIcon = 3 };

    // Connects at once with the host's values; `downloadRoot` is the program's folder.
    RemoteBrowserDialog(const QString& registrationName, const QString& host, const QString& user,
                        const QString& password, bool passive, const QString& downloadRoot, UserPrompter& prompter,
                        MainWindowHooks hooks, const FtpTimeouts& timeouts = {}, QWidget* parent = nullptr);
    ~RemoteBrowserDialog() override;

    void FillRemoteList();
    void enterSelected();          // a double click
    void RegisterSelectedFiles();  // Command1 "登録"
    QString currentDirectory() const;

protected:
    void done(int result) override; // every way of closing disconnects

private:
    QString downloadFolder() const;

    bool connectNow(); // under the busy cursor
    bool connectFtp(const QString& host, bool* declined);
    bool connectSftp(const QString& host, bool* declined);

    std::unique_ptr<RemoteSession> m_session;
    UserPrompter& m_prompter;
    MainWindowHooks m_hooks;
    QString m_downloadRoot;
    QLabel* m_label;
    QTreeWidget* m_list;
    QStatusBar* m_status;
    bool m_disconnected = false;
};

} // namespace tarvik
