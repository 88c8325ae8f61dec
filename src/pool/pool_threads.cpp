// The pool's own threads: the workers that take packets from the port and the
// manager that adds extra workers while more jobs wait or run than there are
// workers. Both run on the shared block and hold a reference to it until they end.
#include "pool/pool_shared.h"

namespace {

constexpr DWORD kManagerStartWaitBaseMs = 1000;
constexpr DWORD kManagerStartWaitPerWorkerMs = 10;

}  // namespace

ThreadPool::Shared::Shared() : workerEntry(&Shared::WorkerEntry), managerEntry(&Shared::ManagerEntry) {}

DWORD WINAPI ThreadPool::Shared::WorkerEntry(void* start) {
    const WorkerStart* worker = static_cast<const WorkerStart*>(start);
    Shared* pool = worker->pool;
    pool->WorkerLoop(worker->kind);
    pool->Release();
    return 0;
}

DWORD WINAPI ThreadPool::Shared::ManagerEntry(void* pool) {
    Shared* shared = static_cast<Shared*>(pool);
    shared->ManagerLoop();
    shared->Release();
    return 0;
}

bool ThreadPool::Shared::StartWorker(int kind) {
    AddReference();
    void* start = kind == kExtraWorker ? &extraStart : &coreStart;
    const HANDLE thread =
        CreateThread(nullptr, static_cast<SIZE_T>(stackSize.load()), workerEntry, start, 0, nullptr);
    if (!thread) {
        Release();
        return false;
    }
    CloseHandle(thread);
    return true;
}

bool ThreadPool::Shared::GrowthWanted() const {
    const long workers = threadCount.load();
    return workers < maxThreads.load() && busyCount.load() + queuedCount.load() > workers;
}

void ThreadPool::Shared::WakeManagerIfGrowthWanted() {
    if (GrowthWanted()) SetEvent(wakeEvent.Get());
}

void ThreadPool::Shared::WorkerLoop(int kind) {
    ++threadCount;
    SetEvent(startedEvent.Get());
    for (;;) {
        const DWORD waitLimit = kind == kExtraWorker ? static_cast<DWORD>(idleTimeoutMs.load()) : INFINITE;
        DWORD first = 0;
        ULONG_PTR second = 0;
        LPOVERLAPPED routine = nullptr;
        const BOOL taken = GetQueuedCompletionStatus(port.Get(), &first, &second, &routine, waitLimit);
        // A paused pool holds the worker here, with the packet it took.
        if (gateMayBeClosed.load()) WaitForSingleObject(gateEvent.Get(), INFINITE);
        if (running.load() != 1 || !taken || routine == StopMarker()) break;
        ++busyCount;
        --queuedCount;
        reinterpret_cast<JobRoutine>(reinterpret_cast<std::uintptr_t>(routine))(
            first, static_cast<std::uint32_t>(second));
        --busyCount;
        SetEvent(jobDoneEvent.Get());
    }
    if (--threadCount == 0) TearDownAfterLastWorker();
}

// Only a pool that was running is torn down here: while it is starting, the
// creating thread owns the fields, and a stopped pool has nothing left to close.
// A worker that starts too late for a failed start thus cannot close the handles
// of the next start.
void ThreadPool::Shared::TearDownAfterLastWorker() {
    const long current = state.load();
    if (current != Running && current != Stopping) return;
    port.Close();
    jobDoneEvent.Close();
    gateEvent.Close();
    startedEvent.Close();
    const HANDLE wake = wakeEvent.Get();
    if (wake) SetEvent(wake);  // releases a waiting Destroy or manager
    wakeEvent.Close();
    running = 0;
    busyCount = 0;
    queuedCount = 0;
    state.exchange(Stopped);
}

// The started event may still hold a signal from an earlier start; trusting it
// would let the next round start another worker before this one is counted and
// so pass the ceiling. The wait therefore lasts until the count has moved, the
// pool stops, or the time limit passes.
void ThreadPool::Shared::WaitUntilCounted(long before) {
    const DWORD begin = GetTickCount();
    const DWORD limit = static_cast<DWORD>(before) * kManagerStartWaitPerWorkerMs + kManagerStartWaitBaseMs;
    while (threadCount.load() == before && state.load() == Running) {
        const DWORD elapsed = GetTickCount() - begin;
        if (elapsed >= limit) return;
        WaitForSingleObject(startedEvent.Get(), limit - elapsed);
    }
}

void ThreadPool::Shared::ManagerLoop() {
    WaitForSingleObject(wakeEvent.Get(), INFINITE);
    int failures = 0;
    while (state.load() == Running) {
        if (GrowthWanted()) {
            const long before = threadCount.load();
            if (StartWorker(kExtraWorker)) {
                failures = 0;
                WaitUntilCounted(before);
            } else if (++failures == kFailuresBeforeGivingUp) {
                maxThreads = threadCount.load();
                failures = 0;
            }
        } else {
            WaitForSingleObject(wakeEvent.Get(), INFINITE);
        }
        WaitForSingleObject(gateEvent.Get(), INFINITE);  // no growth while paused
    }
}
