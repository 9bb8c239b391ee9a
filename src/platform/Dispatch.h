#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <functional>
#include <optional>
#include <type_traits>

namespace pierline {

// The Qt main thread is the main thread of the program.
bool isMainThread();

// Runs `work` on the main thread and waits for it; inline when already there. An exception
// thrown by `work` is rethrown on the calling thread.
void runOnMainSync(const std::function<void()>& work);

template <typename F> auto runOnMainSyncResult(F&& work) -> std::invoke_result_t<F> {
    using R = std::invoke_result_t<F>;
    if constexpr (std::is_void_v<R>) {
        runOnMainSync(std::forward<F>(work));
    } else {
        std::optional<R> result;
        runOnMainSync([&] { result.emplace(work()); });
        return std::move(*result);
    }
}

// Queues `work` on the main thread without waiting.
void runOnMainAsync(std::function<void()> work);

enum class QueuePriority { UserInteractive, UserInitiated, Default, Utility, Background };

// Concurrent background pools, one per priority.
QThreadPool& globalQueue(QueuePriority priority);

template <typename F> auto runAsync(QueuePriority priority, F&& work) {
    return QtConcurrent::run(&globalQueue(priority), std::forward<F>(work));
}

} // namespace pierline
