#pragma once
#include "platform/Http.h"
#include "platform/win32/ScopedHandles.h"

// HTTP GET through WinINet. The client handle is made by the first fetch
// that needs it and kept for the life of the program.
class WinInetClient final : public HttpClient {
public:
    HttpResult Get(const char* url) override;
    void Release() { session_.Reset(); }
    bool HasSession() const { return static_cast<bool>(session_); }

private:
    ScopedInternet session_;
};
