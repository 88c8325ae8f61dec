#include "discovery/live_streams.h"

#include <cstdint>
#include <string>
#include <vector>

#include "app/globals.h"
#include "discovery/live_link.h"
#include "discovery/memory_search.h"
#include "discovery/scan_cycle.h"

std::string LiveLinkPrefix() {
    return std::string("https://") + QUILLMERE_LIVE_HOST + "/";
}

void ScanLiveStreams() {
    std::vector<std::uintptr_t> addresses = SearchProcessMemory(_wechatPid, LiveLinkPrefix());
    if (addresses.empty()) return;
    RemoveDuplicates(addresses);
    std::vector<std::string> texts;
    texts.reserve(addresses.size());
    for (const std::uintptr_t address : addresses) texts.push_back(ReadRemoteText(_wechatPid, address));
    RemoveDuplicates(texts);
    for (const std::string& text : texts) {
        const std::string link = RebuiltLiveLink(text);
        if (link == "https://") continue;
        std::string key = LiveStreamKey(link);
        if (CountInList(*_liveKeys, key) != 0) continue;
        _liveKeys->Append(std::move(key));
        InsertRow(link, "直播", "不支持下载");
    }
}
