#pragma once

#include <string>

// Shows a GBK message on the status line as "DD-HH:MM:SS message"; the last
// message shown wins. Safe from any thread.
void ShowStatus(const std::string& message);
// The status-line text for a message at the given local time (no window needed).
std::string StatusLineText(const std::string& message, int day, int hour, int minute, int second);
