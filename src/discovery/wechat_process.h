// The choice of the WeChat browser process to scan: a WechatBrowser.exe whose
// parent is the first WeChat.exe in the process list.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Chooses the process, stores it in _wechatPid and reports it; 0 when none was
// chosen. With no browser process at all it asks the user to start WeChat: OK
// runs WindowCreated again (a nested retry) and returns 0, Cancel ends the program.
DWORD FindWeChat();
// Every process with that executable name, in the order of one snapshot.
std::vector<DWORD> FindProcessIds(const std::string& name, bool caseSensitive);
// The parent recorded for the process in a new snapshot; 0 when it is not there.
DWORD ParentProcessId(DWORD id);
// The first process of that name (any letter case) in a new snapshot, or 0.
DWORD FindProcessId(const std::string& name);
