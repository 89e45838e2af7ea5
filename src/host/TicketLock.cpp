#include "host/TicketLock.h"

void CTicketLock::lock() {
    const std::uint64_t ticket = nextTicket_.fetch_add(1);
    if (serving_.load() == ticket) return;
    std::unique_lock<std::mutex> guard(mutex_);
    turnChanged_.wait(guard, [&] { return serving_.load() == ticket; });
}

void CTicketLock::unlock() {
    {
        // Under the mutex, so that a thread between its check and its sleep cannot miss the turn.
        std::lock_guard<std::mutex> guard(mutex_);
        serving_.fetch_add(1);
    }
    turnChanged_.notify_all();
}

bool CTicketLock::try_lock() {
    std::uint64_t free = serving_.load();
    return nextTicket_.compare_exchange_strong(free, free + 1);
}
