#include "app/globals.h"

Global<XlEngine> _engine;
Global<TextList> _seenUrls;
Global<TextList> _acceptedKeys;
Global<HttpClient> _http;
Global<TextList> _liveKeys;
Global<ThreadPool> _pool;
DWORD _wechatPid = 0;
HANDLE _downloadThread = nullptr;

void ConstructGlobals() {
    _engine.Construct();
    _seenUrls.Construct();
    _acceptedKeys.Construct();
    _http.Construct();
    _liveKeys.Construct();
    _pool.Construct();
}

void DestroyGlobals() {
    _engine.Destroy();
    _seenUrls.Destroy();
    _acceptedKeys.Destroy();
    _http.Destroy();
    _liveKeys.Destroy();
    _pool.Destroy();
}
