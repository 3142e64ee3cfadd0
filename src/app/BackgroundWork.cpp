#include "app/BackgroundWork.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>

#include <thread>

namespace tarvik {

void runWithBusyCursor(const std::function<void()>& work)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop loop;
    QObject context;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&context, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    QApplication::restoreOverrideCursor();
}

} // namespace tarvik
