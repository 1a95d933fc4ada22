// Drives the sandbox's scripted time server (tests/sandbox/time_server.py)
// from the Windows-side tests.
//
// The control port is 127.0.0.1:%VESMOR_CONTROL_PORT% (8079 when unset). The
// traffic goes over plain winsock, never WinINet, so setting up a test cannot
// disturb the code under test (its connection pool, cache or cookies).
// Every call aborts the test process with a message when the server cannot
// be reached or refuses the command: a test without its scripted server would
// only produce misleading failures.
#pragma once

#include <string>
#include <vector>

namespace sandbox {

// Appends response entries for the HTTP side: one JSON object or a JSON list
// of them, e.g. R"({"status": 404, "body": "gone", "repeat": 2})".
void Queue(const std::string& jsonEntryOrList);

// Empties the queue and the request log, releases hanging connections, and
// turns listening and name resolution back on.
void Reset();

// The request heads received on the HTTP port since the last Reset, oldest
// first, each exactly as sent but without the final "\r\n\r\n".
std::vector<std::string> Requests();

// Per request since the last Reset, the milliseconds the server took from
// the request's arrival to its answer sent (benchmarks subtract them).
std::vector<double> Timings();

// false: the HTTP port refuses connections; true: it listens again.
void Listen(bool on);

// false: the time host no longer resolves; true: it resolves to 127.0.0.1.
void Resolve(bool on);

// Lower-case hex of the bytes, for the "body_hex" field.
std::string Hex(const std::string& bytes);

}  // namespace sandbox
