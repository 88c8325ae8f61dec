#include "download/progress_monitor.h"

#include <windows.h>

#include <cmath>
#include <string>

#include "app/globals.h"
#include "app/message_pump.h"
#include "app/status_line.h"
#include "app/table.h"

namespace {

constexpr int kZeroReadingsBeforeFailure = 50;

// A row given up on loses its task before it can be taken again: an attempt
// still running (fifty readings of 0 do not end it) cannot then complete as a
// second file of the row, and the engine removes the attempt's partial file
// instead of leaving one in the video folder for every retry.
void FailDownload(std::uint32_t task, int row) {
    const std::string reason = _engine->QueryErrorText(task);
    _engine->DeleteTask(task);
    SetTableCell(row, ColumnStatus, "下载失败");
    ShowStatus(TableCellText(row, ColumnId) + "下载失败，错误信息：" + reason);
}

}  // namespace

void PumpingSleep(unsigned milliseconds) {
    if (milliseconds < 15) {
        Sleep(milliseconds);
        ProcessPendingMessages();
        return;
    }
    const DWORD start = GetTickCount();
    const unsigned slices = milliseconds / 15;
    const unsigned rest = milliseconds % 15;
    unsigned done = 0;
    bool elapsed = false;
    do {
        Sleep(15);
        ProcessPendingMessages();
        ++done;
        elapsed = GetTickCount() - start >= milliseconds;
    } while (done < slices && !elapsed);
    if (!elapsed && rest > 0) {
        Sleep(rest);
        ProcessPendingMessages();
    }
}

void MonitorDownload(std::uint32_t task, std::uint32_t rowIndex) {
    const int row = static_cast<int>(rowIndex);
    int zeroReadings = 0;
    for (;;) {
        const int percent = static_cast<int>(std::floor(_engine->QueryPercent(task) * 100.0f));
        SetTableCell(row, ColumnStatus, std::to_string(percent) + "%");
        if (percent == 100) SetTableCell(row, ColumnStatus, "100%");
        PumpingSleep(500);
        if (percent == 0 && ++zeroReadings == kZeroReadingsBeforeFailure) {
            FailDownload(task, row);
            return;
        }
        if (percent == 100) return;
        // A task the engine has given up on never moves again: without this the
        // job would poll for ever and hold its worker, and after five such
        // failures no download would start any more.
        if (_engine->QueryStatusText(task) == "ERROR") {
            FailDownload(task, row);
            return;
        }
    }
}
