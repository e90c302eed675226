#pragma once

#include <QCoreApplication>
#include <QPointer>

#include <memory>

// Hands the result of a pool job to `target`'s `take(serial, result)` on the GUI
// thread, or drops it when the target has been destroyed meanwhile. Called from
// the job; the job holds the guard (made on the GUI thread), never a raw pointer.
template <typename Target, typename Result>
void handOverToGui(const QPointer<Target>& guard, int serial, const std::shared_ptr<Result>& result,
                   void (Target::*take)(int, const std::shared_ptr<Result>&))
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [guard, serial, result, take]() {
            if (guard)
                (guard.data()->*take)(serial, result);
        },
        Qt::QueuedConnection);
}
