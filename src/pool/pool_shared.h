// The pool's fields, shared by the pool object and its threads. Each thread holds
// one reference for as long as it runs and the object holds one, so whoever ends
// last frees the block; a thread may thus outlive the object without touching
// freed memory.
#pragma once

#include <windows.h>

#include <atomic>

#include "pool/thread_pool.h"

// A handle field that several threads read while one of them may empty it: the
// exchange hands the handle to exactly one closer.
class SharedHandle {
public:
    SharedHandle() = default;
    ~SharedHandle() { Close(); }
    SharedHandle(const SharedHandle&) = delete;
    SharedHandle& operator=(const SharedHandle&) = delete;

    HANDLE Get() const { return value.load(); }
    void Set(HANDLE handle) { Close(handle); }
    void Close(HANDLE replacement = nullptr) {
        const HANDLE closing = value.exchange(replacement);
        if (closing) CloseHandle(closing);
    }

private:
    std::atomic<HANDLE> value{nullptr};
};

// What a worker thread receives: its pool and its kind (0 core, 1 extra).
struct WorkerStart {
    ThreadPool::Shared* pool;
    int kind;
};

constexpr int kCoreWorker = 0;
constexpr int kExtraWorker = 1;
// Consecutive failures to start a worker after which the starter gives up.
constexpr int kFailuresBeforeGivingUp = 5;

struct ThreadPool::Shared {
    Shared();

    // Plain thread start routines bound to this block through their argument.
    static DWORD WINAPI WorkerEntry(void* start);
    static DWORD WINAPI ManagerEntry(void* pool);
    void WorkerLoop(int kind);
    void ManagerLoop();

    // Starts one worker of the given kind with a reference of its own; the
    // handle is closed at once (workers are never joined).
    bool StartWorker(int kind);
    // Growth is wanted when more jobs wait or run than there are workers.
    bool GrowthWanted() const;
    void WakeManagerIfGrowthWanted();
    void WaitUntilCounted(long before);
    void TearDownAfterLastWorker();

    void AddReference() { ++references; }
    void Release() {
        if (--references == 0) delete this;
    }

    LPTHREAD_START_ROUTINE workerEntry;
    LPTHREAD_START_ROUTINE managerEntry;
    std::atomic<long> state{Stopped};
    SharedHandle port;
    std::atomic<long> running{0};
    SharedHandle wakeEvent;
    SharedHandle startedEvent;
    SharedHandle jobDoneEvent;
    SharedHandle gateEvent;
    std::atomic<long> threadCount{0};
    std::atomic<long> busyCount{0};
    std::atomic<long> queuedCount{0};
    SharedHandle managerThread;
    std::atomic<long> maxThreads{0};
    std::atomic<long> idleTimeoutMs{0};
    std::atomic<long> stackSize{0};

    // Mirrors the gate so that a worker passes an open gate without a kernel
    // call: written closed after the gate closes and open before it opens, so
    // that reading "open" is never wrong for longer than a Resume takes.
    std::atomic<bool> gateMayBeClosed{false};

    WorkerStart coreStart{this, kCoreWorker};
    WorkerStart extraStart{this, kExtraWorker};
    std::atomic<long> references{1};
};

// The stop packet: a worker that takes it ends.
constexpr DWORD kStopCount = 0xFFFFFFFF;
constexpr ULONG_PTR kStopKey = 0xFFFFFFFF;
inline LPOVERLAPPED StopMarker() { return reinterpret_cast<LPOVERLAPPED>(static_cast<std::intptr_t>(-2)); }
