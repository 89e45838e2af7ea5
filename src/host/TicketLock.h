// A lock that lets waiting threads in by order of arrival.
//
// The native methods are serialised by one lock, and a thread feeding frames in a loop would
// otherwise take it again before a thread reading the pose is woken: an ordinary mutex lets the
// reader starve. Meets the Lockable requirements (lock, unlock, try_lock), so std::lock_guard
// works with it. Not recursive.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class CTicketLock {
public:
    CTicketLock() = default;
    CTicketLock(const CTicketLock&) = delete;
    CTicketLock& operator=(const CTicketLock&) = delete;

    void lock();
    void unlock();
    // Takes the lock only when nobody holds it or waits for it.
    bool try_lock();

private:
    // Tickets are drawn without the mutex, so a thread cannot be kept from queueing up by one
    // that keeps taking the mutex; the mutex only guards the sleeping.
    std::atomic<std::uint64_t> nextTicket_{0};
    std::atomic<std::uint64_t> serving_{0};
    std::mutex mutex_;
    std::condition_variable turnChanged_;
};
