#pragma once

#include "cli/OutputFormats.h"
#include "counting/AnalysisRun.h"
#include "intake/PathPatterns.h"
#include "output/CsvFormat.h"
#include "output/Subtotals.h"

#include <QString>
#include <QStringList>

#include <iosfwd>
#include <optional>
#include <vector>

namespace tarvik {

// What one `tarvik-count` is asked to do, read from its arguments and checked in one place.
// What the settings file decides (the values left unset here) is settled once it is read.
struct CountOptions {
    enum class Mode {
        Count,              // PATHs and --files-from, from the disk
        FolderComparison,   // --diff OLD NEW, two folders
        Revision,           // --repo DIR --rev REV
        RevisionComparison, // --repo DIR --diff OLD NEW
    };
    Mode mode = Mode::Count;

    FormatWriter::Format format = FormatWriter::Format::Report;
    QString output; // null: standard output
    bool bom = false;
    QString reportDate; // the report's date; null: today's
    int jobs = 1;
    // Unset: the settings file's Count_Mode, Serch_Mode and Gen_Mode.
    std::optional<bool> symbolLines;
    std::optional<bool> subdirs;
    std::optional<GeneratedFiles> generated;
    // The subtotals asked for; an empty one is the files the folder searches passed over.
    std::vector<std::optional<SubtotalGrouping>> groupings;
    // None was asked for a workbook: it gets the usual sheets (and カテゴリ別 where the settings
    // file has categories).
    bool defaultGroupings = false;
    bool categoryColumn = false; // --category-column
    // --summary author: where its table stands among the groupings' (before groupings[i]); -1: not asked.
    int authorTableAt = -1;
    Exclusions exclusions; // the command line's own; the settings file's patterns go before them

    QString settingsPath; // null: found when the run needs it
    // Count: the PATHs; a comparison of folders: OLD and NEW; revisions: the folders and files
    // of the repository they are limited to.
    QStringList paths;
    QString filesFrom; // null: none
    QString repository;
    QString revision;                  // Revision
    QString oldRevision, newRevision;  // RevisionComparison

    bool workbook() const { return format == FormatWriter::Format::Xlsx; }
    bool comparison() const { return mode == Mode::FolderComparison || mode == Mode::RevisionComparison; }
    CsvFormat::Reader csvReader() const { return bom ? CsvFormat::Reader::Spreadsheet : CsvFormat::Reader::Program; }
};

// The exit statuses of the command.
enum CountExit { kCompleted = 0, kFailed = 1, kBadArguments = 2 };

// Reads the arguments (the program name left out). --help and --version are answered on `out`
// and bad arguments on `err`: `exitStatus` is set then, and there is nothing more to do.
struct ParsedCount {
    std::optional<int> exitStatus;
    CountOptions options;
};
ParsedCount parseCountOptions(const QStringList& args, int cores, std::ostream& out, std::ostream& err);

// Says what was wrong with the arguments, the way every such message ends; kBadArguments.
int usageError(std::ostream& err, const QString& message);

std::ostream& operator<<(std::ostream& os, const QString& s);

} // namespace tarvik
