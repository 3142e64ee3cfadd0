#include "cli/CountSession.h"

#include "cli/ProgressBar.h"
#include "cli/SummaryOutput.h"
#include "config/AtomicFile.h"
#include "config/Categories.h"
#include "config/ExcludeSettings.h"
#include "git/GitRevision.h"
#include "output/CsvFormat.h"
#include "output/Workbook.h"

#include <QDir>

#include <ostream>

namespace tarvik {

CountSession::CountSession(const CountOptions& options, const CountCommand::Environment& env, std::ostream& out,
                           std::ostream& err)
    : m_options(options), m_env(env), m_out(out), m_err(err)
{
}

CountSession::~CountSession() = default;

bool CountSession::loadSettings(const QString& path)
{
    QString reason;
    if (!SettingsStore::loadDocument(path, m_settings, &reason)) {
        m_err << "tarvik-count: cannot read settings file " << path << ": " << reason << "\n";
        return false;
    }
    const QString mode = QStringLiteral("Mode");
    m_symbolLines = m_options.symbolLines.value_or(
        SettingsStore::profileValue(m_settings, mode, QStringLiteral("Count_Mode")) != u"0");
    m_subdirs = m_options.subdirs.value_or(SettingsStore::profileValue(m_settings, mode, QStringLiteral("Serch_Mode")) != u"0");
    // The window's choice for generated files, in the same order as its menu; older files lack it.
    m_generatedChosen = m_options.generated.has_value();
    m_generated = m_options.generated.value_or(GeneratedFiles::Count);
    if (!m_generatedChosen) {
        const int chosen = SettingsStore::profileValue(m_settings, mode, QStringLiteral("Gen_Mode")).toInt();
        if (chosen == 1 || chosen == 2) {
            m_generated = chosen == 1 ? GeneratedFiles::Skip : GeneratedFiles::Separate;
            m_generatedChosen = true;
        }
    }
    // The window's exclusion patterns apply to every folder search; those given here come
    // after them, so they have the last word ("!name" takes one back).
    m_exclusions = m_options.exclusions;
    m_exclusions.patterns = readExcludePatterns(m_settings) + m_exclusions.patterns;
    m_searched = FileTypeTable::fromDocument(m_settings).searchedTypes();
    return true;
}

DirectoryWalk::FilterFactory CountSession::walkFilter() const
{
    return [exclusions = m_exclusions](const std::string& root) { return makeWalkFilter(root, exclusions); };
}

AnalysisOptions CountSession::analysisOptions(const SourceStore* store) const
{
    return AnalysisOptions{m_symbolLines, m_options.jobs, store, m_generated};
}

QString CountSession::absolute(const QString& path) const
{
    return QDir::cleanPath(path.startsWith(u'/') ? path : m_env.currentDirectory + u'/' + path);
}

void CountSession::reportSkipped(const SkippedDirectory& skipped)
{
    m_err << "tarvik-count: skipped " << (skipped.file ? "file " : "directory ") << skipped.path << ": " << skipped.reason
          << "\n";
}

void CountSession::reportUnregistered()
{
    if (!m_unregistered.empty())
        m_err << "tarvik-count: " << unregisteredLine(m_unregistered) << "\n";
}

void CountSession::addSummaries(SummarySet& summaries, const FolderRoots* roots, AuthorSteps* authors)
{
    const auto& groupings = m_options.groupings;
    for (size_t i = 0; i <= groupings.size(); ++i) {
        if (authors && static_cast<int>(i) == m_options.authorTableAt)
            summaries.addAuthors(authors);
        if (i == groupings.size())
            break;
        if (groupings[i])
            summaries.add(*groupings[i], m_settings, m_generated, roots);
        else
            summaries.addUnregistered(&m_unregistered);
    }
    if (m_options.defaultGroupings && !Categories::fromDocument(m_settings).empty())
        summaries.add(SubtotalGrouping{SubtotalGrouping::By::Category, 1}, m_settings, m_generated, roots);
}

bool CountSession::openOutput()
{
    if (!m_options.output.isNull()) {
        // Not cleaned: "link/.." must mean what it means to the file system.
        const QString& output = m_options.output;
        m_outFile = std::make_unique<OutputFile>(output.startsWith(u'/') ? output : m_env.currentDirectory + u'/' + output);
        QString openError;
        if (!m_outFile->open(&openError)) {
            m_err << "tarvik-count: cannot write " << output << ": " << openError << "\n";
            return false;
        }
    }
    if (m_options.bom)
        write(QByteArray(CsvFormat::kByteOrderMark));
    m_bar = std::make_unique<ProgressBar>(m_err, m_env.progressToErr && (m_outFile || !m_env.outIsTerminal));
    return true;
}

void CountSession::write(const QByteArray& bytes)
{
    if (m_outFile)
        m_outFile->write(bytes);
    else
        m_out.write(bytes.constData(), bytes.size());
}

// A full disk or a closed pipe must not pass for a complete result.
bool CountSession::finishOutput()
{
    m_out.flush();
    if (!m_outFile && !m_out) {
        m_err << "tarvik-count: cannot write the output\n";
        return false;
    }
    QString writeError;
    if (m_outFile && !m_outFile->commit(&writeError)) {
        m_err << "tarvik-count: cannot write " << m_options.output << ": " << writeError << "\n";
        return false;
    }
    return true;
}

void CountSession::reportError(const RunError& error)
{
    m_err << "tarvik-count: " << unexpectedErrorMessage() << " " << error.path << ": " << error.reason << "\n";
}

int CountSession::conclude(const std::optional<RunError>& error)
{
    if (error && m_outFile)
        m_outFile->cancel();
    else if (!finishOutput())
        return kFailed;
    if (error) {
        reportError(*error);
        return kFailed;
    }
    return kCompleted;
}

int CountSession::concludeWorkbook(const std::optional<RunError>& error, std::vector<WorkbookSheet> sheets)
{
    if (error) {
        m_outFile->cancel();
        reportError(*error);
        return kFailed;
    }
    QString writeError;
    if (!SaveWorkbook(*m_outFile, sheets, &writeError)) {
        m_err << "tarvik-count: cannot write " << m_options.output << ": " << writeError << "\n";
        return kFailed;
    }
    return kCompleted;
}

} // namespace tarvik
