// Runs a piece of work on the thread that owns a Qt object and waits for it,
// the way a message sent to a window from another thread waits for the
// window's thread to handle it.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <utility>

template <typename F>
void RunOnOwnerThread(QObject* owner, F&& work) {
    if (QThread::currentThread() == owner->thread()) {
        work();
    } else {
        QMetaObject::invokeMethod(owner, std::forward<F>(work), Qt::BlockingQueuedConnection);
    }
}
