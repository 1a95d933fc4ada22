#pragma once
#include "platform/Text.h"

// The body of a response, whatever its status; empty when nothing arrived.
struct HttpResult {
    Text body;
};

// One synchronous HTTP/1.0 GET. WinINet carries it in the program; tests
// stand in for it.
class HttpClient {
public:
    virtual HttpResult Get(const char* url) = 0;

protected:
    ~HttpClient() = default;
};
