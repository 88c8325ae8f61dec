// The pool's operations as its callers see them: start, stop, pause, posting and
// waiting. The worker and manager loops are in pool_threads.cpp.
#include "pool/thread_pool.h"

#include <algorithm>

#include "pool/pool_shared.h"

namespace {

constexpr int kDefaultInitialWorkers = 5;
constexpr int kDefaultMaxWorkers = 20;
constexpr int kDefaultIdleTimeoutMs = 10000;
constexpr long kMinIdleTimeoutMs = 100;
constexpr long kStackStep = 8192;
constexpr long kCreateStackGranule = 4096;
constexpr SIZE_T kManagerStackSize = 8192;
constexpr DWORD kWaitSliceMs = 20;
constexpr DWORD kStartWaitBaseMs = 1000;
constexpr DWORD kStartWaitPerWorkerMs = 10;
constexpr int kManagerRoundsOnDestroy = 21;
constexpr int kManagerRoundsOnFailedCreate = 11;
constexpr DWORD kStopPacketsPerDispatch = 100;

// Dispatches the calling thread's pending messages. A quit message is put back
// so that the thread's own message loop still sees it.
void DispatchPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Below a page pair the system would refuse or round up anyway; a negative size
// means nothing sensible and falls back to the system default.
long SettleStackSize(long bytes, long granule) {
    if (bytes <= 0) return 0;
    if (bytes < kStackStep) return kStackStep;
    return bytes - bytes % granule;
}

void CloseStartFields(ThreadPool::Shared& pool) {
    pool.wakeEvent.Close();
    pool.port.Close();
    pool.startedEvent.Close();
    pool.jobDoneEvent.Close();
    pool.gateEvent.Close();
}

bool OpenPortAndManager(ThreadPool::Shared& pool) {
    pool.port.Set(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0));
    pool.wakeEvent.Set(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    pool.startedEvent.Set(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    pool.jobDoneEvent.Set(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    pool.gateEvent.Set(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    if (!pool.port.Get() || !pool.wakeEvent.Get() || !pool.startedEvent.Get() || !pool.jobDoneEvent.Get() ||
        !pool.gateEvent.Get())
        return false;
    pool.AddReference();
    const HANDLE manager = CreateThread(nullptr, kManagerStackSize, pool.managerEntry, &pool, 0, nullptr);
    if (!manager) {
        pool.Release();
        return false;
    }
    pool.managerThread.Set(manager);
    return true;
}

int StartCoreWorkers(ThreadPool::Shared& pool, int attempts, bool dispatchMessages) {
    int created = 0;
    int failures = 0;
    for (int attempt = 0; attempt < attempts && failures < kFailuresBeforeGivingUp; ++attempt) {
        if (pool.StartWorker(kCoreWorker)) {
            ++created;
            failures = 0;
        } else {
            ++failures;
        }
        if (dispatchMessages) DispatchPendingMessages();
    }
    return created;
}

// The limit is checked on every round, signalled or not, so that a worker that
// dies before it counts itself cannot keep the start waiting.
void WaitForCoreWorkers(ThreadPool::Shared& pool, int created, bool dispatchMessages) {
    const DWORD begin = GetTickCount();
    const DWORD limit = static_cast<DWORD>(created) * kStartWaitPerWorkerMs + kStartWaitBaseMs;
    while (pool.threadCount.load() < created && GetTickCount() - begin <= limit) {
        WaitForSingleObject(pool.startedEvent.Get(), kWaitSliceMs);
        if (dispatchMessages) DispatchPendingMessages();
    }
}

// Waits a bounded number of rounds for the manager, which ends as soon as it
// wakes and sees the pool is not running, then drops its handle.
void StopManager(ThreadPool::Shared& pool, int rounds, bool dispatchMessages) {
    const HANDLE manager = pool.managerThread.Get();
    for (int round = 0; manager && round < rounds; ++round) {
        if (WaitForSingleObject(manager, kWaitSliceMs) != WAIT_TIMEOUT) break;
        if (dispatchMessages) DispatchPendingMessages();
    }
    pool.managerThread.Close();
}

bool DropsQueuedJobs(int mode) { return mode == 0 || mode == 2; }

}  // namespace

ThreadPool::ThreadPool() : shared(new Shared) {}

ThreadPool::~ThreadPool() {
    Destroy(2);
    shared->Release();
}

bool ThreadPool::Create(std::optional<int> initialWorkers, std::optional<int> maxWorkers,
                        std::optional<int> idleTimeoutMs, std::optional<bool> dispatchMessages,
                        std::optional<int> stackSize) {
    Shared& pool = *shared;
    long expected = Stopped;
    if (!pool.state.compare_exchange_strong(expected, Starting)) return false;

    const bool dispatch = dispatchMessages.value_or(false);
    const int initial = std::max(1, initialWorkers.value_or(kDefaultInitialWorkers));
    pool.maxThreads = std::max(initial, maxWorkers.value_or(kDefaultMaxWorkers));
    pool.idleTimeoutMs = std::max(kMinIdleTimeoutMs, static_cast<long>(idleTimeoutMs.value_or(kDefaultIdleTimeoutMs)));
    pool.stackSize = stackSize ? SettleStackSize(*stackSize, kCreateStackGranule) : 0;

    if (!OpenPortAndManager(pool)) {
        CloseStartFields(pool);
        pool.state.exchange(Stopped);
        return false;
    }
    pool.running = 1;
    pool.gateMayBeClosed = false;
    // A post that raced the last stop may have left a count behind. The worker
    // count is left alone: only live workers move it, and it is 0 here unless a
    // worker of an earlier failed start is only now arriving.
    pool.busyCount = 0;
    pool.queuedCount = 0;
    const int created = StartCoreWorkers(pool, initial, dispatch);
    if (created > 0) WaitForCoreWorkers(pool, created, dispatch);
    if (pool.threadCount.load() > 0) {
        pool.state.exchange(Running);
        return true;
    }
    // The manager is still at its first wait: wake it so that it sees the pool is
    // not running and ends before its events go.
    SetEvent(pool.wakeEvent.Get());
    StopManager(pool, kManagerRoundsOnFailedCreate, dispatch);
    CloseStartFields(pool);
    pool.running = 0;
    pool.state.exchange(Stopped);
    return false;
}

bool ThreadPool::Destroy(std::optional<int> mode, std::optional<int> timeoutMs, std::optional<bool> dispatchMessages) {
    Shared& pool = *shared;
    long previous = Running;
    if (!pool.state.compare_exchange_strong(previous, Stopping)) return previous == Stopped;

    int stopMode = mode.value_or(0);
    if (stopMode < 0 || stopMode > 3) stopMode = 0;
    const bool dispatch = dispatchMessages.value_or(false);
    if (DropsQueuedJobs(stopMode)) pool.running = 0;

    // Releases every waiter and opens the gate.
    SetEvent(pool.jobDoneEvent.Get());
    SetEvent(pool.startedEvent.Get());
    SetEvent(pool.wakeEvent.Get());
    SetEvent(pool.gateEvent.Get());
    StopManager(pool, kManagerRoundsOnDestroy, dispatch);

    // One stop packet more than there are workers now, for a worker still starting.
    const DWORD packets = static_cast<DWORD>(std::max(0L, pool.threadCount.load())) + 1;
    for (DWORD packet = 1; packet <= packets; ++packet) {
        PostQueuedCompletionStatus(pool.port.Get(), kStopCount, kStopKey, StopMarker());
        if (dispatch && packet % kStopPacketsPerDispatch == 0) DispatchPendingMessages();
    }
    if (stopMode >= 2) return true;

    const DWORD begin = GetTickCount();
    const int limit = timeoutMs.value_or(0);
    while (pool.state.load() != Stopped) {
        // The last worker closes the event; until the state says so, poll.
        if (WaitForSingleObject(pool.wakeEvent.Get(), kWaitSliceMs) == WAIT_FAILED) Sleep(1);
        if (dispatch) DispatchPendingMessages();
        if (limit > 0 && GetTickCount() - begin > static_cast<DWORD>(limit)) return pool.state.load() == Stopped;
    }
    return true;
}

bool ThreadPool::Pause() {
    if (shared->state.load() != Running || !ResetEvent(shared->gateEvent.Get())) return false;
    shared->gateMayBeClosed = true;
    return true;
}

bool ThreadPool::Resume() {
    if (shared->state.load() != Running) return false;
    shared->gateMayBeClosed = false;
    return SetEvent(shared->gateEvent.Get()) != FALSE;
}

bool ThreadPool::WaitResumed(std::optional<DWORD> timeoutMs) {
    if (shared->state.load() != Running) return false;
    return WaitForSingleObject(shared->gateEvent.Get(), timeoutMs.value_or(INFINITE)) == WAIT_OBJECT_0;
}

bool ThreadPool::Post(JobRoutine routine, std::optional<std::uint32_t> first, std::optional<std::uint32_t> second) {
    return PostAddress(reinterpret_cast<std::uintptr_t>(routine), first, second);
}

bool ThreadPool::PostAddress(std::uintptr_t routineAddress, std::optional<std::uint32_t> first,
                             std::optional<std::uint32_t> second) {
    Shared& pool = *shared;
    // An address equal to the stop marker would end a worker instead of running.
    const LPOVERLAPPED routine = reinterpret_cast<LPOVERLAPPED>(routineAddress);
    if (pool.state.load() != Running || !routine || routine == StopMarker()) return false;
    ++pool.queuedCount;
    const bool placed =
        PostQueuedCompletionStatus(pool.port.Get(), first.value_or(0), second.value_or(0), routine) != FALSE;
    if (!placed) --pool.queuedCount;
    pool.WakeManagerIfGrowthWanted();
    return placed;
}

bool ThreadPool::WaitJobDone(std::optional<DWORD> timeoutMs, std::optional<bool> dispatchMessages) {
    Shared& pool = *shared;
    if (pool.state.load() != Running) return false;
    const HANDLE done = pool.jobDoneEvent.Get();
    if (!dispatchMessages.value_or(false))
        return WaitForSingleObject(done, timeoutMs.value_or(INFINITE)) == WAIT_OBJECT_0;

    const bool limited = timeoutMs && *timeoutMs != INFINITE;
    const DWORD begin = GetTickCount();
    for (;;) {
        DispatchPendingMessages();
        DWORD slice = kWaitSliceMs;
        if (limited) {
            const DWORD elapsed = GetTickCount() - begin;
            slice = elapsed >= *timeoutMs ? 0 : std::min(kWaitSliceMs, *timeoutMs - elapsed);
        }
        // A signal seen in the last round still counts: it has been consumed, and
        // reporting failure would lose the news of that job.
        const DWORD result = WaitForSingleObject(done, slice);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_TIMEOUT || slice == 0) return false;
    }
}

long ThreadPool::IdleCount() const { return shared->threadCount.load() - shared->busyCount.load(); }
long ThreadPool::BusyCount() const { return shared->busyCount.load(); }
long ThreadPool::QueuedCount() const { return shared->queuedCount.load(); }
long ThreadPool::ThreadCount() const { return shared->threadCount.load(); }
long ThreadPool::MaxThreads() const { return shared->maxThreads.load(); }
bool ThreadPool::IsIdle() const { return shared->queuedCount.load() == 0 && shared->busyCount.load() == 0; }
long ThreadPool::State() const { return shared->state.load(); }
long ThreadPool::IdleTimeout() const { return shared->idleTimeoutMs.load(); }
long ThreadPool::StackSize() const { return shared->stackSize.load(); }

void ThreadPool::SetMaxThreads(long count) {
    if (shared->state.load() != Running) return;
    shared->maxThreads = std::max(1L, count);
    shared->WakeManagerIfGrowthWanted();
}

void ThreadPool::SetIdleTimeout(long ms) {
    if (shared->state.load() == Running) shared->idleTimeoutMs = std::max(kMinIdleTimeoutMs, ms);
}

void ThreadPool::SetStackSize(long bytes) {
    if (shared->state.load() == Running) shared->stackSize = SettleStackSize(bytes, kStackStep);
}
