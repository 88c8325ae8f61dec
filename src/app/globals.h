// The process-wide objects. Start-up constructs them in the order below and the
// exit routine destroys them in the same order (not the reverse), so each is a
// Global<T> whose lifetime is explicit rather than left to static initialisation.
#pragma once

#include <windows.h>

#include <new>
#include <type_traits>

#include "discovery/text_list.h"
#include "engine/xl_engine.h"
#include "http/http_client.h"
#include "pool/thread_pool.h"

template <typename T>
class Global {
public:
    template <typename... Args>
    void Construct(Args&&... args) {
        if (!alive) {
            new (&storage) T(static_cast<Args&&>(args)...);
            alive = true;
        }
    }
    void Destroy() {
        if (alive) {
            alive = false;
            Get().~T();
        }
    }
    bool Alive() const { return alive; }
    T& Get() { return *std::launder(reinterpret_cast<T*>(&storage)); }
    T* operator->() { return &Get(); }
    T& operator*() { return Get(); }

private:
    std::aligned_storage_t<sizeof(T), alignof(T)> storage;
    bool alive = false;
};

extern Global<XlEngine> _engine;
extern Global<TextList> _seenUrls;
extern Global<TextList> _acceptedKeys;
extern Global<HttpClient> _http;
extern Global<TextList> _liveKeys;
extern Global<ThreadPool> _pool;
extern DWORD _wechatPid;
extern HANDLE _downloadThread;

// Constructs the globals in their order (start-up step 1).
void ConstructGlobals();
// The exit routine's destruction, in the order of creation.
void DestroyGlobals();
