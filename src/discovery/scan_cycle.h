// The scan tick: every three seconds the WeChat browser's memory is searched
// for video links; each new one is validated with a GET (only 200 counts) and
// listed "未下载", and the dispatcher is restarted while a row waits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "discovery/remove_duplicates.h"
#include "discovery/text_list.h"

// The timer procedure. A tick that falls due while one runs (the search
// dispatches window messages) is skipped.
void ScanCycle();
// Appends a row (ID, type, url, status). A video whose key names an existing
// file in the video folder becomes "已下载" and the status line says so.
void InsertRow(const std::string& url, const std::string& type, const std::string& status);
// The number of elements equal to the text; dispatches pending window messages.
std::size_t CountInList(const TextList& list, std::string_view text);
// "https://" + the video CDN host + "/251/20302/stodownload".
std::string VideoLinkPrefix();
