// Throughput of empty jobs through the pool (one packet per job on a completion
// port) beside a plain std::mutex + std::condition_variable queue served by the
// same number of threads, measured in the same run. Each figure covers posting
// every job from one thread until the last one has run.
//
//   pool_bench [jobs] [threads] [rounds]
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "pool/thread_pool.h"

namespace {

void EmptyJob(std::uint32_t, std::uint32_t) {}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point begin) { return std::chrono::duration<double>(Clock::now() - begin).count(); }

double PoolRate(int jobs, int threads) {
    ThreadPool pool;
    if (!pool.Create(threads, threads)) return 0;
    const Clock::time_point begin = Clock::now();
    for (int job = 0; job < jobs; ++job) pool.Post(EmptyJob, static_cast<std::uint32_t>(job));
    if (!pool.Destroy(1)) return 0;  // mode 1 returns once every queued job has run
    return jobs / Seconds(begin);
}

struct Job {
    JobRoutine routine;
    std::uint32_t first, second;
};

double LockedQueueRate(int jobs, int threads) {
    std::mutex lock;
    std::condition_variable ready;
    std::deque<Job> queue;
    bool closed = false;
    std::vector<std::thread> workers;
    for (int worker = 0; worker < threads; ++worker) {
        workers.emplace_back([&] {
            for (;;) {
                std::unique_lock<std::mutex> hold(lock);
                ready.wait(hold, [&] { return closed || !queue.empty(); });
                if (queue.empty()) return;
                const Job job = queue.front();
                queue.pop_front();
                hold.unlock();
                job.routine(job.first, job.second);
            }
        });
    }
    const Clock::time_point begin = Clock::now();
    for (int job = 0; job < jobs; ++job) {
        {
            std::lock_guard<std::mutex> hold(lock);
            queue.push_back({EmptyJob, static_cast<std::uint32_t>(job), 0});
        }
        ready.notify_one();
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        closed = true;
    }
    ready.notify_all();
    for (std::thread& worker : workers) worker.join();
    return jobs / Seconds(begin);
}

}  // namespace

int main(int argc, char** argv) {
    const int jobs = argc > 1 ? std::atoi(argv[1]) : 200000;
    const int threads = argc > 2 ? std::atoi(argv[2]) : 4;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    std::printf("%d empty jobs, %d worker threads, posted from one thread\n", jobs, threads);
    std::printf("%-6s %22s %22s\n", "round", "pool (jobs/s)", "mutex+cv queue (jobs/s)");
    for (int round = 1; round <= rounds; ++round) {
        const double pool = PoolRate(jobs, threads);
        const double locked = LockedQueueRate(jobs, threads);
        std::printf("%-6d %22.0f %22.0f\n", round, pool, locked);
    }
    return 0;
}
