// The dispatcher thread: one pass over the table per start, turning waiting
// rows into engine tasks with a progress monitor each.
#pragma once

#include <string>

bool StartDownloadThread();
void StopDownloadThread();
void DispatchDownloads();
std::string RandomLetters(int count);
std::string TrimBlanks(const std::string& text);
