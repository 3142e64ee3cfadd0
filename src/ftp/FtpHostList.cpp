#include "ftp/FtpHostList.h"

#include "ftp/FtpSession.h"
#include "ftp/PasswordKeyring.h"

namespace tarvik {

namespace {

const QString kSection = QStringLiteral("FTP_Server");
const QString kListKey = QStringLiteral("FTP_List");
// A host record carries a password in a reversible form: only the owner may read the file.
constexpr auto kHoldsPassword = SettingsStore::FileAccess::OwnerOnly;

bool loadForEdit(SettingsStore& settings, IniDocument& doc, QString* error)
{
    QString reason;
    if (SettingsStore::loadDocument(settings.path(), doc, &reason))
        return true;
    if (error)
        *error = QStringLiteral("設定ファイルを読めませんでした。\n%1\n%2").arg(settings.path(), reason);
    return false;
}

bool save(SettingsStore& settings, const IniDocument& doc, QString* error,
          SettingsStore::FileAccess access = SettingsStore::FileAccess::Keep)
{
    QString reason;
    if (SettingsStore::saveDocument(settings.path(), doc, &reason, access))
        return true;
    if (error)
        *error = QStringLiteral("設定ファイルを書き換えられませんでした。\n%1\n%2").arg(settings.path(), reason);
    return false;
}

} // namespace

QStringList FtpHostList::names()
{
    const QString list = m_settings.read(kSection, kListKey);
    return list.isEmpty() ? QStringList() : list.split(u',');
}

QStringList FtpHostList::record(const QString& name, QString* error)
{
    const QString value = m_settings.read(kSection, QStringLiteral("FTP_") + name);
    if (value.isEmpty())
        return {};
    QStringList fields = value.split(u',');
    if (fields.value(5) == u"keyring")
        fields[3] = keyring::lookup(fields[0], fields[1], fields[2], error).value_or(QString());
    else if (fields.size() > 3)
        fields[3] = TransformPassword(QStringLiteral("UNSET"), fields[3]);
    return fields;
}

QString FtpHostList::nameProblem(const QString& name)
{
    if (name == u"." || name == u".." || name.contains(u'/'))
        return QStringLiteral("登録名に「/」は使えません。また「.」「..」は登録名にできません。");
    if (name.contains(u',') || name.contains(u'='))
        return QStringLiteral("登録名に「,」「=」は使えません。");
    return {};
}

QString FtpHostList::recordProblem(const QString& name, const QString& host, const QString& user,
                                   const QString& password)
{
    const QString problem = nameProblem(name);
    if (!problem.isEmpty())
        return problem;
    auto breaksLine = [](const QString& s) { return s.contains(u'\r') || s.contains(u'\n'); };
    const std::pair<const char16_t*, QString> fields[] = {
        {u"登録名", name}, {u"接続先", host}, {u"ユーザ名", user},
        {u"パスワード", TransformPassword(QStringLiteral("SET"), password)}};
    for (const auto& [caption, text] : fields) {
        // A comma in the host or user would move the fields after it when the record is read.
        if (text.contains(u',') && text != fields[3].second)
            return QStringLiteral("%1に「,」は使えません。").arg(QString::fromUtf16(caption));
        if (breaksLine(text))
            return QStringLiteral("%1に使えない文字（改行などの制御文字）が含まれています。").arg(QString::fromUtf16(caption));
    }
    return {};
}

bool FtpHostList::passiveMode(const QStringList& record)
{
    const QString mode = record.value(4);
    if (mode == u"passive" || mode == u"active")
        return mode == u"passive";
    return FtpSession::isTls(record.value(1));
}

QByteArray FtpHostList::trustedKey(const QString& host)
{
    return m_settings.read(QStringLiteral("FTP_Trust"), host.trimmed().toLower()).toLatin1();
}

bool FtpHostList::trustKey(const QString& host, const QByteArray& pin)
{
    return m_settings.WriteSetting(QStringLiteral("FTP_Trust"), host.trimmed().toLower(), QString::fromLatin1(pin));
}

FtpHostList::Registered FtpHostList::registerHost(const QString& name, const QString& host, const QString& user,
                                                  const QString& password, QString* error, std::optional<bool> passive)
{
    const QString problem = recordProblem(name, host, user, password);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return Registered::Failed;
    }
    IniDocument doc;
    if (!loadForEdit(m_settings, doc, error))
        return Registered::Failed;
    // A new or changed password goes to the keyring where there is one; the record then says so.
    const bool available = keyring::available();
    if (available)
        keyring::forget(name); // the host's server or user may have changed
    const bool inKeyring = available && keyring::store(name, host, user, password, nullptr);
    QString record = name + u',' + host + u',' + user + u',';
    if (!inKeyring)
        record += TransformPassword(QStringLiteral("SET"), password);
    if (passive || inKeyring)
        record += !passive ? QStringLiteral(",") : *passive ? QStringLiteral(",passive") : QStringLiteral(",active");
    if (inKeyring)
        record += QStringLiteral(",keyring");
    const QString key = QStringLiteral("FTP_") + name;
    const QString list = SettingsStore::profileValue(doc, kSection, kListKey);
    const QStringList elements = list.isEmpty() ? QStringList() : list.split(u',');
    // The record must read back as written: a name with blanks at its end or a record beyond
    // what a read takes (499 bytes) would otherwise be reported stored and come back wrong.
    auto readsBack = [&] {
        const QString stored = SettingsStore::profileValue(doc, kSection, kListKey);
        return SettingsStore::profileValue(doc, kSection, key) == record && stored.split(u',').contains(name);
    };
    auto unstorable = [&] {
        if (error)
            *error = QStringLiteral("ホストを登録できませんでした。登録内容が長すぎるか、設定ファイルに書けない文字を含んでいます。\n%1")
                         .arg(name);
        return Registered::Failed;
    };
    if (elements.contains(name)) {
        if (!doc.setValue(kSection, key, record) || !readsBack())
            return unstorable();
        return save(m_settings, doc, error, kHoldsPassword) ? Registered::Updated : Registered::Failed;
    }
    if (!doc.setValue(kSection, kListKey, list.isEmpty() ? name : list + u',' + name))
        return unstorable();
    // The new record goes directly below every FTP_List line (the first line is a header).
    QStringList lines = doc.lines();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].startsWith(QStringLiteral("FTP_List=")))
            lines.insert(++i, IniDocument::keyLineText(key, record));
    }
    doc.setLines(lines);
    if (!readsBack())
        return unstorable();
    return save(m_settings, doc, error, kHoldsPassword) ? Registered::Added : Registered::Failed;
}

bool FtpHostList::deleteHost(const QString& name, QString* error)
{
    if (m_settings.read(kSection, QStringLiteral("FTP_") + name).split(u',').value(5) == u"keyring")
        keyring::forget(name);
    IniDocument doc;
    if (!loadForEdit(m_settings, doc, error))
        return false;
    QStringList elements = SettingsStore::profileValue(doc, kSection, kListKey).split(u',');
    const qsizetype at = elements.indexOf(name);
    if (at >= 0) {
        elements.removeAt(at);
        doc.setValue(kSection, kListKey, elements.join(u','));
    }
    QStringList lines = doc.lines();
    const QString prefix = QStringLiteral("FTP_") + name + u'=';
    lines.erase(std::remove_if(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(prefix); }),
                lines.end());
    doc.setLines(lines);
    return save(m_settings, doc, error);
}

QString FtpHostList::TransformPassword(const QString& mode, const QString& text)
{
    const bool encode = mode == u"SET";
    if (!encode && mode != u"UNSET")
        return {};
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 128 || u == u';') {
            out += c;
            continue;
        }
        out += QChar(static_cast<char16_t>(encode ? (u + 128 - 15) % 128 : (u + 15) % 128));
    }
    return out;
}

} // namespace tarvik
