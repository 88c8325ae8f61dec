// Live streams found in the WeChat browser's memory are listed "不支持下载"
// (the download engine cannot save FLV streams), one row per stream.
#pragma once

#include <string>

// The first step of every scan tick; reports nothing.
void ScanLiveStreams();
// "https://" + the live-stream host + "/".
std::string LiveLinkPrefix();
