#pragma once

#include "cli/CountCommand.h"
#include "cli/CountOptions.h"
#include "config/FileTypeTable.h"
#include "config/SettingsStore.h"
#include "intake/DirectoryWalk.h"
#include "intake/UnregisteredFiles.h"

#include <QByteArray>

#include <iosfwd>
#include <memory>
#include <optional>

namespace tarvik {

class AuthorSteps;
class OutputFile;
class ProgressBar;
class SourceStore;
class SummarySet;

// What every mode of a count shares once its arguments are checked: the settings and what they
// decide, where the output goes and how the run ends, and what is said on standard error.
class CountSession {
public:
    CountSession(const CountOptions& options, const CountCommand::Environment& env, std::ostream& out,
                 std::ostream& err);
    ~CountSession();

    // Reads the settings file (a missing one would make every file unknown: refused, rather
    // than miscounted) and settles what the command line left to it. False: said why.
    bool loadSettings(const QString& path);

    const CountOptions& options() const { return m_options; }
    const IniDocument& settings() const { return m_settings; }
    bool subdirs() const { return m_subdirs; }
    GeneratedFiles generated() const { return m_generated; }
    // The command line or the settings file chose what becomes of generated files.
    bool generatedChosen() const { return m_generatedChosen; }
    const Exclusions& exclusions() const { return m_exclusions; }
    const SearchedTypes& searched() const { return m_searched; }
    DirectoryWalk::FilterFactory walkFilter() const;
    AnalysisOptions analysisOptions(const SourceStore* store = nullptr) const;
    // A PATH from the folder the command was started in.
    QString absolute(const QString& path) const;
    const QString& currentDirectory() const { return m_env.currentDirectory; }

    std::ostream& err() { return m_err; }
    void reportSkipped(const SkippedDirectory& skipped);
    // The files the folder searches passed over: one line, when there were any.
    UnregisteredFiles& unregistered() { return m_unregistered; }
    void reportUnregistered();
    // The subtotals asked for; `roots` may be null, and so may `authors` when none were asked for.
    void addSummaries(SummarySet& summaries, const FolderRoots* roots, AuthorSteps* authors = nullptr);

    // Opens -o FILE (replaced only once the run has completed) and begins the output; false:
    // said why.
    bool openOutput();
    void write(const QByteArray& bytes);
    ProgressBar& progressBar() { return *m_bar; }
    // The exit status once the output is closed: a run that ended early is reported here, and
    // its half of a result never replaces an older output file.
    int conclude(const std::optional<RunError>& error);
    // A workbook is written only from a completed run: a failed one leaves the older file.
    int concludeWorkbook(const std::optional<RunError>& error, std::vector<WorkbookSheet> sheets);

private:
    bool finishOutput();
    void reportError(const RunError& error);

    const CountOptions& m_options;
    const CountCommand::Environment& m_env;
    std::ostream& m_out;
    std::ostream& m_err;
    IniDocument m_settings;
    bool m_symbolLines = true;
    bool m_subdirs = true;
    GeneratedFiles m_generated = GeneratedFiles::Count;
    bool m_generatedChosen = false;
    Exclusions m_exclusions;
    SearchedTypes m_searched;
    UnregisteredFiles m_unregistered;
    std::unique_ptr<OutputFile> m_outFile;
    std::unique_ptr<ProgressBar> m_bar;
};

} // namespace tarvik
