// Access to the response beyond its status code: the body (read from the
// network once into the receive buffer), single headers, the redirect target,
// and the manual following of redirects in the cookie modes.
#include "http/http_client.h"

#include "http/http_text.h"
#include "http/winhttp_calls.h"

#include <climits>

Bytes HttpClient::ReadBody() {
    if (!request || contentLength == 0) return Bytes();
    if (received == 0) {
        if (!ResizeBuffer(http::InitialBodyCapacity(contentLength))) return Bytes();
        std::size_t total = 0;
        for (;;) {
            DWORD available = 0;
            if (!WinHttp().queryDataAvailable(request, &available) || available < 1) break;
            std::size_t need = total + available;
            if (need > static_cast<std::size_t>(INT_MAX)) break;  // `received` is an int
            if (need > bufferCapacity && !ResizeBuffer(http::GrownBodyCapacity(need, contentLength))) break;
            DWORD read = 0;
            if (!WinHttp().readData(request, buffer + total, static_cast<DWORD>(bufferCapacity - total), &read) ||
                read == 0)
                break;
            total += read;
        }
        received = static_cast<int>(total);
    }
    return Bytes(buffer, buffer + received);
}

std::string HttpClient::ReadBodyText() {
    Bytes body = ReadBody();
    return std::string(body.begin(), body.end());
}

std::string HttpClient::ReadBodyUtf8() { return Utf8ToText(ReadBody()); }

std::string HttpClient::GetHeaders() const { return headers; }

std::string HttpClient::GetHeader(const std::string& name) const { return http::HeaderValue(headers, name); }

std::string HttpClient::GetLocation(std::optional<bool> resolve) const {
    std::string value = http::LocationOf(headers);
    if (!resolve || !*resolve) return value;
    return http::ResolveLocation(value, scheme, connectedHost, connectedPort, url);
}

void HttpClient::FollowRedirect(int keepOnEmpty, int retries) {
    if (cookieMode == 0 || redirectsDisabled == 1) return;
    std::string target = GetLocation(true);
    if (target.empty()) {
        redirectCount = 0;
        return;
    }
    if (++redirectCount > 20) {
        redirectCount = 0;
        return;
    }
    // Each hop is a GET without a body; its Send follows the next hop.
    OpenRequest(std::string(), target);
    Send(std::string(), keepOnEmpty, retries);
}
