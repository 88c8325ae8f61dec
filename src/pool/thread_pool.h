// A general-purpose pool of worker threads over an I/O completion port. A job is
// a routine and two 32-bit integers carried whole in one completion packet, so
// posting allocates nothing. A manager thread adds extra workers up to a ceiling
// when more jobs wait or run than there are workers; extra workers end after an
// idle time. The pool can be paused (a run gate) and stopped in four ways.
//
// The fields live in a reference-counted block that every pool thread holds, so
// the object may go while its threads are still finishing their last job: they
// keep running on the block, never on the object.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

// Runs on a worker: the job's first and second integer, in that order.
using JobRoutine = void (*)(std::uint32_t first, std::uint32_t second);

enum ThreadPoolState : long { Stopped = 0, Running = 1, Starting = 2, Stopping = 3 };

class ThreadPool {
public:
    ThreadPool();
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    bool Create(std::optional<int> initialWorkers = std::nullopt, std::optional<int> maxWorkers = std::nullopt,
                std::optional<int> idleTimeoutMs = std::nullopt, std::optional<bool> dispatchMessages = std::nullopt,
                std::optional<int> stackSize = std::nullopt);
    bool Destroy(std::optional<int> mode = std::nullopt, std::optional<int> timeoutMs = std::nullopt,
                 std::optional<bool> dispatchMessages = std::nullopt);
    bool Pause();
    bool Resume();
    bool WaitResumed(std::optional<DWORD> timeoutMs = std::nullopt);
    bool Post(JobRoutine routine, std::optional<std::uint32_t> first = std::nullopt,
              std::optional<std::uint32_t> second = std::nullopt);
    bool PostAddress(std::uintptr_t routineAddress, std::optional<std::uint32_t> first = std::nullopt,
                     std::optional<std::uint32_t> second = std::nullopt);
    bool WaitJobDone(std::optional<DWORD> timeoutMs = std::nullopt, std::optional<bool> dispatchMessages = std::nullopt);
    long IdleCount() const;
    long BusyCount() const;
    long QueuedCount() const;
    long ThreadCount() const;
    long MaxThreads() const;
    bool IsIdle() const;
    long State() const;
    // The settled idle time-out and worker stack size (for checks and diagnostics).
    long IdleTimeout() const;
    long StackSize() const;
    void SetMaxThreads(long count);
    void SetIdleTimeout(long ms);
    void SetStackSize(long bytes);

    struct Shared;  // the fields and the thread loops; pool_shared.h

private:
    Shared* shared;
};
