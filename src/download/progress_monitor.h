// One progress-monitor job per download, run on a pool worker for the whole
// life of the download: it polls the engine every half second and writes the
// percentage, "100%" or "下载失败" into the row's status cell.
#pragma once

#include <cstdint>

// Pool job: the engine task handle first, the 0-based table row second.
void MonitorDownload(std::uint32_t task, std::uint32_t row);
// Waits that long while dispatching the calling thread's pending messages.
void PumpingSleep(unsigned milliseconds);
