#include "ServerControl.h"

// winsock2.h must come before anything that pulls in windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace sandbox {
namespace {

// Long enough for a Listen(false) that waits for the server's accept loop,
// short enough that a stuck server fails the run instead of hanging CI.
constexpr DWORD kTimeoutMs = 15000;

[[noreturn]] void Fail(const std::string& what, const std::string& detail) {
    std::fprintf(stderr, "sandbox::%s: %s\n", what.c_str(), detail.c_str());
    std::fflush(stderr);
    std::abort();
}

unsigned short ControlPort() {
    const char* env = std::getenv("VESMOR_CONTROL_PORT");
    if (env != nullptr && *env != '\0') {
        const long port = std::strtol(env, nullptr, 10);
        if (port > 0 && port < 65536) return static_cast<unsigned short>(port);
    }
    return 8079;
}

void StartWinsock(const std::string& what) {
    static const int status = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (status != 0) Fail(what, "WSAStartup failed: " + std::to_string(status));
}

class Socket {
public:
    explicit Socket(SOCKET s) : s_(s) {}
    ~Socket() {
        if (s_ != INVALID_SOCKET) closesocket(s_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return s_; }

private:
    SOCKET s_;
};

// One HTTP/1.0 exchange; returns the body of a 200 answer, aborts otherwise.
std::string Call(const std::string& what, const std::string& method, const std::string& path,
                 const std::string& body = std::string()) {
    StartWinsock(what);
    Socket sock(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (sock.get() == INVALID_SOCKET)
        Fail(what, "socket() failed: " + std::to_string(WSAGetLastError()));
    const DWORD timeout = kTimeoutMs;
    setsockopt(sock.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    setsockopt(sock.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(ControlPort());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(sock.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        Fail(what, "cannot connect to the time server's control port " +
                       std::to_string(ControlPort()) + " (error " +
                       std::to_string(WSAGetLastError()) + "); run inside run-in-sandbox");

    std::string request = method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    if (method == "POST") {
        request += "Content-Type: application/json\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n";
    }
    request += "\r\n" + body;
    for (size_t sent = 0; sent < request.size();) {
        const int n = send(sock.get(), request.data() + sent,
                           static_cast<int>(request.size() - sent), 0);
        if (n <= 0) Fail(what, "send failed: " + std::to_string(WSAGetLastError()));
        sent += static_cast<size_t>(n);
    }

    // HTTP/1.0: the answer ends when the server closes.
    std::string answer;
    char buf[4096];
    for (;;) {
        const int n = recv(sock.get(), buf, sizeof buf, 0);
        if (n == 0) break;
        if (n < 0) Fail(what, "recv failed: " + std::to_string(WSAGetLastError()));
        answer.append(buf, static_cast<size_t>(n));
    }

    const size_t headEnd = answer.find("\r\n\r\n");
    const size_t space = answer.find(' ');
    if (headEnd == std::string::npos || space == std::string::npos || space > headEnd)
        Fail(what, "malformed answer: " + answer.substr(0, 200));
    const int status = std::atoi(answer.c_str() + space + 1);
    std::string content = answer.substr(headEnd + 4);
    if (status != 200) {
        while (!content.empty() && (content.back() == '\n' || content.back() == '\r'))
            content.pop_back();
        Fail(what, "server answered " + std::to_string(status) + ": " + content +
                       (body.empty() ? std::string() : " (sent: " + body + ")"));
    }
    return content;
}

const char* OnOff(bool on) { return on ? R"({"on": true})" : R"({"on": false})"; }

}  // namespace

void Queue(const std::string& jsonEntryOrList) { Call("Queue", "POST", "/queue", jsonEntryOrList); }

void Reset() { Call("Reset", "POST", "/reset", "{}"); }

std::vector<std::string> Requests() {
    const std::string log = Call("Requests", "GET", "/requests");
    std::vector<std::string> heads;
    size_t start = 0;
    for (;;) {
        const size_t end = log.find("\r\n\r\n", start);
        if (end == std::string::npos) break;
        heads.push_back(log.substr(start, end - start));
        start = end + 4;
    }
    if (start < log.size()) heads.push_back(log.substr(start));  // a head without CRLF ends
    return heads;
}

std::vector<double> Timings() {
    const std::string lines = Call("Timings", "GET", "/timings");
    std::vector<double> ms;
    size_t start = 0;
    while (start < lines.size()) {
        size_t end = lines.find('\n', start);
        if (end == std::string::npos) end = lines.size();
        ms.push_back(std::atof(lines.substr(start, end - start).c_str()));
        start = end + 1;
    }
    return ms;
}

void Listen(bool on) { Call("Listen", "POST", "/listen", OnOff(on)); }

void Resolve(bool on) { Call("Resolve", "POST", "/resolve", OnOff(on)); }

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 0x0f];
    }
    return out;
}

}  // namespace sandbox
