#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QStatusBar;
class QTimer;

namespace tarvik {

// The status bar's text: the date when idle; a timed message replaces it for 3 seconds, and a
// message that follows another restarts the 3 seconds.
class StatusMessage : public QObject {
    Q_OBJECT
public:
    using Today = std::function<QString()>;

    StatusMessage(QStatusBar* bar, QObject* parent, Today today = {});

    void showTimed(const QString& text);
    // A text that stays until the next timed message or tick (no timer restart).
    void show(const QString& text);
    void showDate();

    QTimer* timer() const { return m_timer; }
    static QString todayText();

    // The timer's tick: the date again, timer off.
    void Timer1_Timer();

private:
    QStatusBar* m_bar;
    QTimer* m_timer;
    Today m_today;
};

} // namespace tarvik
