#pragma once
// Hand-offs from pool jobs back to the GUI thread.
//
// Thread contract: call from any thread. The function runs later on the GUI thread
// (the thread of QCoreApplication), queued even when the caller is that thread.
// A guarded call holds a QPointer made on the GUI thread, never a raw pointer, and
// tests it there: when the object has been destroyed by then the function is
// dropped without running. Whatever the function captured is released on the GUI
// thread once it ran or was dropped.

#include <QCoreApplication>
#include <QPointer>

#include <memory>
#include <utility>

// Runs f() on the GUI thread.
template <typename F> void runOnGui(F&& f)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(f), Qt::QueuedConnection);
}

// Runs f() on the GUI thread, unless `guard`'s object is gone by then.
template <typename T, typename F> void runOnGui(const QPointer<T>& guard, F&& f)
{
    runOnGui([guard, f = std::forward<F>(f)]() mutable {
        if (guard)
            f();
    });
}

// Hands the result of a pool job to `target`'s `take(serial, result)`.
template <typename Target, typename Result>
void handOverToGui(const QPointer<Target>& guard, int serial, const std::shared_ptr<Result>& result,
                   void (Target::*take)(int, const std::shared_ptr<Result>&))
{
    runOnGui(guard, [guard, serial, result, take] { (guard.data()->*take)(serial, result); });
}
