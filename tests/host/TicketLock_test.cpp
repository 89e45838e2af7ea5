#include "host/TicketLock.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(TicketLock, ExcludesOtherThreadsAndTryLockFailsWhileHeld) {
    CTicketLock lock;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int k = 0; k < 20000; ++k) {
                std::lock_guard<CTicketLock> guard(lock);
                ++counter;
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(counter, 80000);

    lock.lock();
    std::thread other([&] { EXPECT_FALSE(lock.try_lock()); });
    other.join();
    lock.unlock();
    EXPECT_TRUE(lock.try_lock());
    lock.unlock();
}

TEST(TicketLock, ServesWaitingThreadsInArrivalOrder) {
    CTicketLock lock;
    std::vector<int> order;
    lock.lock();
    std::vector<std::thread> threads;
    for (int id = 0; id < 3; ++id) {
        threads.emplace_back([&, id] {
            std::lock_guard<CTicketLock> guard(lock);
            order.push_back(id);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));  // let it queue up first
    }
    lock.unlock();
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

// With an ordinary mutex, a thread that takes the lock in a loop gets it back before a waiting
// thread wakes up: the other thread gets in after a few dozen of 2000 steps. Here it gets in after
// every step it waited through.
TEST(TicketLock, AThreadWaitingWhileAnotherTakesItInALoopGetsInAfterEachStep) {
    CTicketLock lock;
    std::atomic<bool> feeding{true};
    std::atomic<bool> readerStarted{false};
    int stepsFollowedByARead = 0;
    bool readSinceStep = true;
    std::thread reader([&] {
        readerStarted = true;
        while (feeding) {
            std::lock_guard<CTicketLock> guard(lock);
            if (!readSinceStep) ++stepsFollowedByARead;
            readSinceStep = true;
        }
    });
    while (!readerStarted) std::this_thread::yield();
    for (int step = 0; step < 2000; ++step) {
        std::lock_guard<CTicketLock> guard(lock);
        readSinceStep = false;
        std::this_thread::sleep_for(std::chrono::microseconds(20));  // a step's work
    }
    feeding = false;
    reader.join();
    EXPECT_GT(stepsFollowedByARead, 1500);
}

}  // namespace
