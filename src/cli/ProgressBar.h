#pragma once

#include "counting/AnalysisRun.h"
#include "counting/VersionDiff.h"

#include <chrono>
#include <ostream>
#include <string>

namespace tarvik {

// A progress bar on standard error, drawn at most ten times a second.
class ProgressBar {
public:
    ProgressBar(std::ostream& err, bool enabled) : m_err(err), m_enabled(enabled) {}
    void start(qsizetype total) { m_total = total; }
    void done(qsizetype i)
    {
        if (!m_enabled)
            return;
        auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(100) && i + 1 < m_total)
            return;
        m_last = now;
        constexpr int width = 40;
        int filled = m_total > 0 ? static_cast<int>((i + 1) * width / m_total) : width;
        m_err << "\r[" << std::string(static_cast<size_t>(filled), '#') << std::string(static_cast<size_t>(width - filled), ' ')
              << "] " << (i + 1) << '/' << m_total << std::flush;
        m_drawn = true;
    }
    void clear()
    {
        if (m_drawn)
            m_err << "\r" << std::string(70, ' ') << "\r" << std::flush;
        m_drawn = false;
    }

private:
    std::ostream& m_err;
    bool m_enabled;
    qsizetype m_total = 0;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_last{};
};

// Forwards results and moves the bar.
class ProgressSink : public ResultSink {
public:
    ProgressSink(ResultSink& inner, ProgressBar& bar) : m_inner(inner), m_bar(bar) {}
    void runStarted(qsizetype n) override
    {
        m_bar.start(n);
        m_inner.runStarted(n);
    }
    void fileAnalysed(qsizetype i, const FileResult& r) override
    {
        m_inner.fileAnalysed(i, r);
        m_bar.done(i);
    }
    void runFinished(const RunSummary& s) override { m_inner.runFinished(s); }

private:
    ResultSink& m_inner;
    ProgressBar& m_bar;
};

// The same for the pairs of a comparison.
class DiffProgressSink : public DiffSink {
public:
    DiffProgressSink(DiffSink& inner, ProgressBar& bar) : m_inner(inner), m_bar(bar) {}
    void diffStarted(qsizetype n) override
    {
        m_bar.start(n);
        m_inner.diffStarted(n);
    }
    void fileCompared(qsizetype i, const FileChange& c) override
    {
        m_inner.fileCompared(i, c);
        m_bar.done(i);
    }
    void diffFinished(const DiffSummary& s) override { m_inner.diffFinished(s); }

private:
    DiffSink& m_inner;
    ProgressBar& m_bar;
};

} // namespace tarvik
