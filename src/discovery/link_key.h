// The text rules of the video links: which link is worth checking and the key
// under which a video is recognised whatever else its link says. Pure text
// rules, no system calls.
#pragma once

#include <string>
#include <string_view>

// True when the link's last 8 bytes are exactly "taskid=0".
bool IsCheckedVideoLink(std::string_view link);
// The value of the first query parameter (…/stodownload?a=ABC&b=XYZ&taskid=0
// gives ABC): from the text after the first "?" up to the next "?" or the end
// (the whole link when nothing follows a "?"), its part before the first "&",
// and of that the text between its first and second "=" (or to its end). A
// part without "=" gives the empty key.
std::string LinkKey(std::string_view url);
// Whether a key can name a file inside the video folder: a key holding a path
// separator or a drive or stream colon would name a file elsewhere.
bool IsPlainFileName(std::string_view key);
