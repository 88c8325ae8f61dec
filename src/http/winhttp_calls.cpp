#include "http/winhttp_calls.h"

WinHttpCalls& WinHttp() {
    static WinHttpCalls calls;
    return calls;
}
