// Benchmark (not a test): one download through the real engine, timed from
// XL_StartTask to COMPLETE, for scripts/bench-engine.sh to set beside curl and
// aria2c. Prints "<seconds> <bytes> <most connections seen>" on success.
//
//     xldl_bench.exe <url> <save folder> <file name>
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "engine_under_test.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: xldl_bench <url> <save folder> <file name>\n");
        return 2;
    }
    if (!Engine().init || !Engine().init()) {
        std::fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    const XL_TASK task = Engine().createTask(MakeParam({argv[1], argv[2], argv[3]}).get());
    const auto started = std::chrono::steady_clock::now();
    if (!task || !Engine().startTask(task)) {
        std::fprintf(stderr, "the engine refused the task\n");
        Engine().uninit();
        return 1;
    }
    int connections = 0;
    DownTaskInfo info;
    for (;;) {
        info = Query(task);
        connections = std::max(connections, static_cast<int>(info.nSrcUsing));
        if (info.stat == TSC_COMPLETE || info.stat == TSC_ERROR) break;
        Sleep(20);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    Engine().uninit();
    if (info.stat != TSC_COMPLETE) {
        std::fprintf(stderr, "the download failed with code %d\n", info.fail_code);
        return 1;
    }
    std::printf("%.3f %lld %d\n", seconds, static_cast<long long>(info.nTotalSize), connections);
    return 0;
}
