// The WinHTTP functions the client calls, as one table of pointers. Tests wrap
// an entry to count attempts or to see what the client hands to WinHTTP where
// Wine accepts an option without acting on it. The defaults are the system's.
#pragma once

#include <windows.h>
#include <winhttp.h>

struct WinHttpCalls {
    decltype(&::WinHttpOpen) open = ::WinHttpOpen;
    decltype(&::WinHttpCloseHandle) closeHandle = ::WinHttpCloseHandle;
    decltype(&::WinHttpSetTimeouts) setTimeouts = ::WinHttpSetTimeouts;
    decltype(&::WinHttpCrackUrl) crackUrl = ::WinHttpCrackUrl;
    decltype(&::WinHttpConnect) connect = ::WinHttpConnect;
    decltype(&::WinHttpOpenRequest) openRequest = ::WinHttpOpenRequest;
    decltype(&::WinHttpSetOption) setOption = ::WinHttpSetOption;
    decltype(&::WinHttpAddRequestHeaders) addRequestHeaders = ::WinHttpAddRequestHeaders;
    decltype(&::WinHttpSendRequest) sendRequest = ::WinHttpSendRequest;
    decltype(&::WinHttpReceiveResponse) receiveResponse = ::WinHttpReceiveResponse;
    decltype(&::WinHttpQueryHeaders) queryHeaders = ::WinHttpQueryHeaders;
    decltype(&::WinHttpQueryDataAvailable) queryDataAvailable = ::WinHttpQueryDataAvailable;
    decltype(&::WinHttpReadData) readData = ::WinHttpReadData;
    decltype(&::WinHttpSetCredentials) setCredentials = ::WinHttpSetCredentials;
};

// The table every HttpClient calls through.
WinHttpCalls& WinHttp();
