#include "app/StatusMessage.h"

#include <QDate>
#include <QLocale>
#include <QStatusBar>
#include <QTimer>

namespace tarvik {

StatusMessage::StatusMessage(QStatusBar* bar, QObject* parent, Today today)
    : QObject(parent), m_bar(bar), m_timer(new QTimer(this)), m_today(today ? std::move(today) : Today(&todayText))
{
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(3000);
    connect(m_timer, &QTimer::timeout, this, &StatusMessage::Timer1_Timer);
}

QString StatusMessage::todayText() { return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat); }

void StatusMessage::showTimed(const QString& text)
{
    m_bar->showMessage(text);
    m_timer->setInterval(3000);
    m_timer->stop();
    m_timer->start();
}

void StatusMessage::show(const QString& text) { m_bar->showMessage(text); }

void StatusMessage::showDate() { m_bar->showMessage(m_today()); }

void StatusMessage::Timer1_Timer()
{
    showDate();
    m_timer->stop();
}

} // namespace tarvik
