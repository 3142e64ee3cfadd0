#include "intake/UnregisteredFiles.h"

#include "config/NativePath.h"

#include <algorithm>
#include <unordered_set>

namespace tarvik {

std::string UnregisteredFiles::kindOf(std::string_view name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size())
        return std::string(name);
    return std::string(name.substr(dot));
}

void UnregisteredFiles::add(const std::string& kind, int64_t bytes, qsizetype files)
{
    Figures& f = m_kinds[kind];
    f.files += files;
    f.bytes += bytes;
    m_files += files;
}

void UnregisteredFiles::add(const UnregisteredFiles& other)
{
    for (const auto& [kind, f] : other.m_kinds)
        add(kind, f.bytes, f.files);
}

std::vector<UnregisteredKind> UnregisteredFiles::kinds() const
{
    std::vector<UnregisteredKind> out;
    out.reserve(m_kinds.size());
    for (const auto& [kind, f] : m_kinds)
        out.push_back({pathFromNative(kind), f.files, f.bytes});
    std::sort(out.begin(), out.end(), [](const UnregisteredKind& a, const UnregisteredKind& b) {
        if (a.bytes != b.bytes)
            return a.bytes > b.bytes;
        if (a.files != b.files)
            return a.files > b.files;
        return a.kind < b.kind;
    });
    return out;
}

UnregisteredFiles UnregisteredFiles::ofBoth(const std::vector<UnregisteredFile>& older,
                                            const std::vector<UnregisteredFile>& newer)
{
    UnregisteredFiles both;
    std::unordered_set<std::string_view> inNewer;
    for (const UnregisteredFile& f : newer) {
        both.add(f.kind, f.bytes);
        inNewer.insert(f.relative);
    }
    for (const UnregisteredFile& f : older) {
        if (inNewer.count(f.relative) == 0)
            both.add(f.kind, f.bytes);
    }
    return both;
}

QString readableBytes(int64_t bytes)
{
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (unit < 3 && value >= 1024) {
        value /= 1024;
        ++unit;
    }
    // "9.96" would read "10.0": the precision follows the rounded figure.
    const QString figure = value < 9.95 ? QString::number(value, 'f', 1) : QString::number(std::llround(value));
    return figure + u' ' + QLatin1String(units[unit]);
}

QString unregisteredLine(const UnregisteredFiles& files)
{
    if (files.empty())
        return {};
    // "1,234" whatever the user's locale, as the program's other counts.
    auto count = [](qsizetype n) {
        QString digits = QString::number(n);
        for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
            digits.insert(at, u',');
        return digits;
    };
    auto filesText = [&](qsizetype n) -> QString { return count(n) + (n == 1 ? QStringLiteral(" file") : QStringLiteral(" files")); };
    QStringList biggest;
    const std::vector<UnregisteredKind> kinds = files.kinds();
    for (size_t i = 0; i < kinds.size() && i < 3; ++i)
        biggest << QStringLiteral("%1 %2 %3").arg(kinds[i].kind, filesText(kinds[i].files), readableBytes(kinds[i].bytes));
    return QStringLiteral("%1 not counted: types not registered for folder searches (%2)")
        .arg(filesText(files.files()), biggest.join(QStringLiteral(", ")));
}

} // namespace tarvik
