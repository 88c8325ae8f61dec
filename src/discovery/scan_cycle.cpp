#include "discovery/scan_cycle.h"

#include <windows.h>

#include <vector>

#include "app/globals.h"
#include "app/program_folder.h"
#include "app/status_line.h"
#include "app/table.h"
#include "app/wide_paths.h"
#include "discovery/link_key.h"
#include "discovery/live_streams.h"
#include "discovery/memory_search.h"
#include "app/message_pump.h"
#include "download/download_dispatcher.h"

namespace {

bool tickRunning = false;

class TickGuard {
public:
    TickGuard() : entered(!tickRunning) { tickRunning = true; }
    ~TickGuard() {
        if (entered) tickRunning = false;
    }
    TickGuard(const TickGuard&) = delete;
    TickGuard& operator=(const TickGuard&) = delete;
    bool Entered() const { return entered; }

private:
    bool entered;
};

bool Exists(const std::string& path) {
    const std::vector<std::uint8_t> wide = GbkToUtf16(path);
    return !wide.empty() && GetFileAttributesW(reinterpret_cast<const wchar_t*>(wide.data())) != INVALID_FILE_ATTRIBUTES;
}

// True when the link answers 200 to a GET.
bool Validate(const std::string& link) {
    _http->OpenRequest("GET", link);
    _http->Send();
    return _http->GetStatusCode() == 200;
}

// Examines one text found in memory; true when it became a new row.
bool Examine(const std::string& text) {
    if (CountInList(*_seenUrls, text) != 0) return false;
    bool listed = false;
    if (IsCheckedVideoLink(text)) {
        std::string key = LinkKey(text);
        if (CountInList(*_acceptedKeys, key) == 0 && Validate(text)) {
            _acceptedKeys->Append(std::move(key));
            InsertRow(text, "视频", "未下载");
            listed = true;
        }
        _http->Reset();
    }
    _seenUrls->Append(text);
    return listed;
}

void RestartDispatcherIfRowWaits() {
    const int rows = TableRowCount();
    for (int row = 0; row < rows; ++row) {
        const std::string status = TableCellText(row, ColumnStatus);
        if (status == "未下载" || status == "下载失败") {
            StopDownloadThread();
            StartDownloadThread();
            return;
        }
    }
}

}  // namespace

std::string VideoLinkPrefix() {
    return std::string("https://") + QUILLMERE_VIDEO_HOST + "/251/20302/stodownload";
}

std::size_t CountInList(const TextList& list, std::string_view text) {
    ProcessPendingMessages();
    return list.Count(text);
}

void InsertRow(const std::string& url, const std::string& type, const std::string& status) {
    const int row = AppendTableRow();
    if (row < 0) return;
    SetTableCell(row, ColumnId, std::to_string(row));
    SetTableCell(row, ColumnType, type);
    SetTableCell(row, ColumnMediaUrl, url);
    SetTableCell(row, ColumnStatus, status);
    if (type == "直播") return;
    const std::string key = LinkKey(url);
    if (IsPlainFileName(key) && Exists(ProgramFolder() + "\\video\\" + key + ".mp4")) {
        ShowStatus("序号：" + std::to_string(row) + "已存在，跳过下载");
        SetTableCell(row, ColumnStatus, "已下载");
    }
}

void ScanCycle() {
    const TickGuard guard;
    if (!guard.Entered()) return;

    ScanLiveStreams();
    std::vector<std::uintptr_t> addresses = SearchProcessMemory(_wechatPid, VideoLinkPrefix());
    if (addresses.empty()) {
        ShowStatus("未检测到视频号视频，尝试播放新的视频号视频后重试！");
        return;
    }
    RemoveDuplicates(addresses);
    int newRows = 0;
    for (const std::uintptr_t address : addresses) {
        if (Examine(ReadRemoteText(_wechatPid, address))) ++newRows;
    }
    if (newRows > 0) ShowStatus("检测中：" + std::to_string(newRows) + "个视频号视频");
    RestartDispatcherIfRowWaits();
}
