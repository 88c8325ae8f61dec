// The text rules of live-stream links. Pure text rules, no system calls.
#pragma once

#include <string>
#include <string_view>

// The text strictly between the first `start` and the first `end` after it,
// byte for byte; empty when either is missing.
std::string TextBetween(std::string_view text, std::string_view start, std::string_view end);
// "https://" and the text between the first "https://" and the first
// "&combuf=" after it: the stream link without the player's trailing data.
std::string RebuiltLiveLink(std::string_view text);
// The rebuilt link between its first "/" and the first ".flv?" after it (so
// https://host/live/abc.flv?x=1 gives /host/live/abc); empty without ".flv?".
std::string LiveStreamKey(std::string_view link);
