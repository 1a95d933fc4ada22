#include "platform/win32/WinInetClient.h"

#include <stdint.h>
#include <stdlib.h>

namespace {

const char* const AgentText = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
const char* const AcceptLine = "Accept: */* \r\n";
const char* const ExtraHeaders = "Accept: */*\r\n\r\n";

// Always from the server, and never into a cache.
const DWORD RequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

// A server that takes the request and never answers must not hold the
// window for ever. Wine applies no time-out unless the request is given one,
// so the fetch states WinINet's usual bounds itself.
const DWORD FetchTimeoutMs = 30000;

const DWORD UrlBufferBytes = 2084;
const DWORD SmallReadBytes = 10240;
const DWORD LargestReadBytes = 102400;

// The body's buffer is taken whole from the declared length, so it is never
// copied while it fills. Up to a bound: a lying header could otherwise ask
// for any amount; a body beyond it grows as it arrives.
const size_t LargestUpFrontReserve = 256u * 1024 * 1024;

struct MallocBuffer {
    explicit MallocBuffer(size_t bytes) : data(static_cast<char*>(malloc(bytes))) {}
    ~MallocBuffer() { free(data); }
    MallocBuffer(const MallocBuffer&) = delete;
    MallocBuffer& operator=(const MallocBuffer&) = delete;
    char* data;
};

// The leading decimal number of a header value, read like atoi.
int64_t LeadingNumber(const char* text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10u + static_cast<uint32_t>(*text - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

struct CrackedUrl {
    char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    char user[INTERNET_MAX_USER_NAME_LENGTH + 1] = {};
    char password[INTERNET_MAX_PASSWORD_LENGTH + 1] = {};
    char path[INTERNET_MAX_PATH_LENGTH + 1] = {};
    INTERNET_PORT port = 0;
};

bool CrackTimeUrl(const char* canonical, CrackedUrl& parts)
{
    URL_COMPONENTSA components = {};
    components.dwStructSize = sizeof components;
    components.lpszHostName = parts.host;
    components.dwHostNameLength = sizeof parts.host;
    components.lpszUserName = parts.user;
    components.dwUserNameLength = sizeof parts.user;
    components.lpszPassword = parts.password;
    components.dwPasswordLength = sizeof parts.password;
    components.lpszUrlPath = parts.path;
    components.dwUrlPathLength = sizeof parts.path;
    if (!InternetCrackUrlA(canonical, 0, 0, &components))
        return false;
    parts.port = components.nPort;
    return true;
}

bool SplitUrl(const char* url, CrackedUrl& parts)
{
    char canonical[UrlBufferBytes];
    DWORD length = sizeof canonical;
    if (InternetCanonicalizeUrlA(url, canonical, &length, ICU_NO_ENCODE))
        return CrackTimeUrl(canonical, parts);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    MallocBuffer larger(length);
    if (!larger.data || !InternetCanonicalizeUrlA(url, larger.data, &length, ICU_NO_ENCODE))
        return false;
    return CrackTimeUrl(larger.data, parts);
}

void FollowSystemProxy(HINTERNET session, HINTERNET connection)
{
    INTERNET_PROXY_INFO proxy = {};
    proxy.dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG;
    InternetSetOptionA(session, INTERNET_OPTION_PROXY, &proxy, sizeof proxy);
    char empty[] = "";
    InternetSetOptionA(connection, INTERNET_OPTION_PROXY_USERNAME, empty, 1);
    InternetSetOptionA(connection, INTERNET_OPTION_PROXY_PASSWORD, empty, 1);
}

int64_t ContentLength(HINTERNET request)
{
    char value[32] = {};
    DWORD length = sizeof value;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, value, &length, nullptr))
        return -1;
    value[sizeof value - 1] = 0;
    return LeadingNumber(value);
}

void ReadBody(HINTERNET request, Text& body)
{
    int64_t declared = ContentLength(request);
    DWORD readBytes = SmallReadBytes;
    if (declared > 0) {
        readBytes = declared + 1 < LargestReadBytes ? static_cast<DWORD>(declared + 1) : LargestReadBytes;
        size_t reserve = static_cast<uint64_t>(declared) < LargestUpFrontReserve
                             ? static_cast<size_t>(declared)
                             : LargestUpFrontReserve;
        body.TryReserve(reserve);
    }
    MallocBuffer buffer(readBytes);
    if (!buffer.data)
        return;
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request, buffer.data, readBytes, &got) || got == 0)
            break;
        if (!body.TryAppend(buffer.data, got))
            break;  // out of memory: keep what arrived
    }
    body.ShrinkToFit();
}

}  // namespace

HttpResult WinInetClient::Get(const char* url)
{
    HttpResult result;
    CrackedUrl parts;
    if (!SplitUrl(url, parts))
        return result;

    if (!session_)
        session_.Reset(InternetOpenA(AgentText, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session_)
        return result;  // the next fetch tries again

    ScopedInternet connection(InternetConnectA(session_.Get(), parts.host, parts.port, parts.user,
                                               parts.password, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection)
        return result;

    FollowSystemProxy(session_.Get(), connection.Get());

    const char* acceptTypes[] = {AcceptLine, nullptr};
    ScopedInternet request(HttpOpenRequestA(connection.Get(), "GET", parts.path, "HTTP/1.0", nullptr,
                                            acceptTypes, RequestFlags, 0));
    if (!request)
        return result;

    DWORD timeout = FetchTimeoutMs;
    InternetSetOptionA(request.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(request.Get(), INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);

    if (!HttpSendRequestA(request.Get(), ExtraHeaders, 15, nullptr, 0))
        return result;

    ReadBody(request.Get(), result.body);
    return result;
}
