#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tarvik {

class FtpHostList;
class UserPrompter;

// Form4: the stored FTP hosts; register, delete, and connect, which opens the remote browser.
class HostListDialog : public QDialog {
    Q_OBJECT
public:
    // `connect` opens the browser for the registration name, host, user, plain password and data
    // connection mode.
    using Connect = std::function<void(const QString& name, const QString& host, const QString& user,
                                       const QString& password, bool passive)>;

    HostListDialog(FtpHostList& hosts, UserPrompter& prompter, Connect onConnect, QWidget* parent = nullptr);

    void selectEntry();   // load the selected host's record
    void Command1_Click(); // connect
    void Command2_Click(); // register
    void Command3_Click(); // delete

private:
    void setButtons(bool connectOn, bool registerOn, bool deleteOn);

    FtpHostList& m_hosts;
    UserPrompter& m_prompter;
    Connect m_connect;
    QListWidget* m_list;
    QLineEdit* m_text[4];
    QCheckBox* m_passive;
    bool m_passiveChosen = false; // by the user, for the host shown: a scheme typed no longer sets it
    QPushButton* m_connectButton;
    QPushButton* m_registerButton;
    QPushButton* m_deleteButton;
};

} // namespace tarvik
