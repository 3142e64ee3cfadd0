#pragma once

#include <QApplication>
#include <QDropEvent>
#include <QListView>
#include <QMimeData>
#include <QObject>
#include <QSemaphore>
#include <QTest>
#include <QUrl>

#include <functional>

namespace tarvik::test {

// A child widget by object name; fails the test when there is none.
template <typename T>
T* child(QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        QTest::qFail(name, __FILE__, __LINE__);
    return found;
}

// Drops URLs onto the analysis list as a file manager would: drag enter, then drop.
// Returns whether the list accepted the drop.
inline bool dropUrls(QObject& window, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    QWidget* viewport = child<QListView>(window, "List1")->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return enter.isAccepted() && drop.isAccepted();
}

inline bool dropFiles(QObject& window, const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    return dropUrls(window, urls);
}

// Does `work` (a run or a comparison of `window`) whose worker, after the k-th file handed over,
// waits until `act` has been done on the window's thread: what `act` sends comes at a known point.
template <typename Window>
void actDuringWork(Window& window, qsizetype k, const std::function<void()>& act, const std::function<void()>& work)
{
    QSemaphore done;
    window.setWorkObserver([&](qsizetype handedOver) {
        if (handedOver == k) {
            QMetaObject::invokeMethod(&window, [&] { act(); done.release(); }, Qt::QueuedConnection);
            done.tryAcquire(1, 10000);
        }
    });
    work();
    window.setWorkObserver({});
}

} // namespace tarvik::test
