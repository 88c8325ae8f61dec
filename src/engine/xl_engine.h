// The program's one adapter over the download engine library xldl.dll. Each
// operation is one synchronous engine call; the adapter's own work is filling
// and reading the engine's records and converting GBK texts to UTF-16 (code
// page 936). The library is bound on first use, from the library folder that
// the deployment sets, so a test can put a double of it first in that folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The value XL_CreateTask returns; 0 means failure. Our engine hands out small
// task numbers, so a handle also fits a 32-bit pool job integer on x86-64.
using TaskHandle = std::uintptr_t;

class XlEngine {
public:
    XlEngine() = default;

    // Deployment and initialisation (defined with the deployment routines).
    bool Init(std::string& basePath, bool deploy, bool launchMiniTpFw, bool allowMiniTpFw);
    bool Uninit();
    std::vector<std::uint8_t> WideBytes(const std::string& text) const;
    TaskHandle CreateTask(const std::string& url, std::optional<std::string> referer,
                          std::optional<std::string> cookies, const std::string& fileName,
                          const std::string& savePath, std::optional<int> originOnly,
                          std::optional<int> disableAutoRename, int resume);
    bool StartTask(TaskHandle task);
    bool StopTask(TaskHandle task);
    bool ForceStopTask(TaskHandle task);
    bool DeleteTask(TaskHandle task);
    std::string QueryStatusText(TaskHandle task);
    std::string QueryErrorText(TaskHandle task);
    std::int64_t QueryTotalSize(TaskHandle task);
    std::int64_t QueryDownloaded(TaskHandle task);
    float QueryPercent(TaskHandle task);
    std::int32_t QuerySourceCount(TaskHandle task);
    std::int32_t QuerySourcesInUse(TaskHandle task);
    std::int64_t QueryP2pBytes(TaskHandle task);
    std::int64_t QueryOriginBytes(TaskHandle task);
    std::int64_t QueryP2sBytes(TaskHandle task);
    std::int32_t QuerySpeed(TaskHandle task);
    std::int32_t QueryP2sSpeed(TaskHandle task);
    std::int32_t QueryP2pSpeed(TaskHandle task);
    bool QueryOriginUsable(TaskHandle task);
    bool QueryCreatingFile(TaskHandle task);
    std::string ErrorText(int failCode) const;
    std::string StatusText(int state) const;
    void SetUploadSpeedLimit(int tcpLimitKBps, int otherLimitKBps);
};
