#!/usr/bin/env python3
"""Loopback stand-in for the observatory's time page, scripted by the tests.

The HTTP side is written on raw sockets so that a test decides every byte the
program under test receives.  A second, plain HTTP/1.0 port takes JSON
commands: queue responses, read back the requests, drop the listener, make the
time host stop resolving.  Only the standard library is used.

Without queued entries, GET /cgi-bin/hko/ntime.pl gets the good page: sent
~2 ms after the next whole second begins, showing that second's local time.
Anything else gets a 404.  Every request takes the first queued entry.

Control port:
  POST /queue    one entry or a list of entries (JSON objects)
  POST /reset    empty queue and log, release hangs, listen and resolve again
  GET  /requests request heads since the last reset, verbatim, each ending
                 with its blank line
  GET  /queue    the entries still queued (JSON)
  GET  /timings  per request since the last reset, the ms from its arrival
                 to its answer sent, one line each
  POST /listen   {"on": false} closes the HTTP port, {"on": true} reopens it
  POST /resolve  {"on": false} drops the time host from the hosts file

Entry fields, all optional:
  repeat N (requests served, default 1; 0: until reset)
  status, reason       status line (302 when "redirect" is given, else 200)
  body | body_hex      the body as UTF-8 text or hex bytes
  page "now"           the good page (the default when no body is given)
  page "soon"          the good page, at once while the current second is
                       less than 400 ms old, else as "now"
  page "at_end"        the page for a second ahead (page_offset_s, 3 by
                       default), its last body byte held back until that
                       second begins: current once the client has it all
  page_offset_s N      the page for now + N s, sent at once
  redirect URL         Location header and a short body
  headers {k: v}       added, or replacing a default header; null removes one
  pad_to N             body cut or padded with 'x' to exactly N bytes
  content_length       true (correct), false (omitted), or a number to declare
  chunked, chunk_size  chunked transfer coding (4096-byte chunks by default)
  keep_alive           keep the connection for the next request
  delay_ms N           wait before anything is sent
  cut_after N          declare the full body, send N bytes of it, close
  close                close without an answer; rst: reset instead
  hang, hang_ms N      never answer, until reset or for N ms
  raw_hex              these bytes as the whole answer
"""

import argparse
import json
import signal
import socket
import socketserver
import struct
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler

TIME_PATH = "/cgi-bin/hko/ntime.pl"
MAX_HEAD = 64 * 1024
# How old a second may be for "soon" to show it at once: the client must still
# hand it to SetLocalTime within half a second of its start.
SOON_WINDOW_S = 0.4
# Time "at_end" gives the body to arrive before its last byte is due.
AT_END_LEAD_S = 3
PAD_BLOCK = b"x" * 65536
WRITE_BLOCK = 65536
REASONS = {
    200: "OK", 204: "No Content", 301: "Moved Permanently", 302: "Found",
    303: "See Other", 304: "Not Modified", 307: "Temporary Redirect",
    308: "Permanent Redirect", 400: "Bad Request", 403: "Forbidden",
    404: "Not Found", 500: "Internal Server Error", 502: "Bad Gateway",
    503: "Service Unavailable",
}
# Field name -> accepted types; anything else is refused so that a typo in a
# test shows up as an error instead of a silently ignored field.
ENTRY_FIELDS = {
    "status": (int,), "reason": (str,), "body": (str,), "body_hex": (str,),
    "page": (str,), "page_offset_s": (int, float), "pad_to": (int,),
    "content_length": (bool, int), "chunked": (bool,), "chunk_size": (int,),
    "redirect": (str,), "headers": (dict,), "delay_ms": (int, float),
    "cut_after": (int,), "close": (bool,), "rst": (bool,), "hang": (bool,),
    "hang_ms": (int, float), "repeat": (int,), "keep_alive": (bool,),
    "raw_hex": (str,),
}

VERBOSE = False


def log(msg):
    if VERBOSE:
        sys.stderr.write("time_server: %s\n" % msg)
        sys.stderr.flush()


def page_for(ts):
    """The observatory's page shape for local time `ts` (whole seconds)."""
    t = time.localtime(int(ts))
    stamp = "%02d/%02d/%04d %02d:%02d:%02d" % (
        t.tm_mday, t.tm_mon, t.tm_year, t.tm_hour, t.tm_min, t.tm_sec)
    return ("<html><head><title>Current Time</title></head><body>"
            "<h2>Current Time is : %s<br></h2></body></html>" % stamp).encode("ascii")


def request_path(head):
    """Path of the request line without query; absolute form reduced too."""
    parts = head.split(b"\r\n", 1)[0].split(b" ")
    target = parts[1].decode("latin-1") if len(parts) > 1 else ""
    if "://" in target:
        target = "/" + target.split("://", 1)[1].partition("/")[2]
    return target.split("?", 1)[0]


def http_date(ts):
    return time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(ts))


def validate_entry(entry):
    if not isinstance(entry, dict):
        raise ValueError("queue entry must be a JSON object")
    for key, value in entry.items():
        if key not in ENTRY_FIELDS:
            raise ValueError("unknown field %r" % key)
        types = ENTRY_FIELDS[key]
        # bool is an int in Python: only accept it where bool is listed.
        if isinstance(value, bool) and bool not in types:
            raise ValueError("field %r has the wrong type" % key)
        if not isinstance(value, types):
            raise ValueError("field %r has the wrong type" % key)
    if "page" in entry and entry["page"] not in ("now", "soon", "at_end"):
        raise ValueError('"page" only knows "now", "soon" and "at_end"')
    if "body_hex" in entry:
        bytes.fromhex(entry["body_hex"])
    if "raw_hex" in entry:
        bytes.fromhex(entry["raw_hex"])
    if entry.get("repeat", 1) < 0:
        raise ValueError('"repeat" must be >= 0')
    if entry.get("chunk_size", 1) <= 0:
        raise ValueError('"chunk_size" must be > 0')
    for key in ("pad_to", "cut_after", "delay_ms", "hang_ms"):
        if entry.get(key, 0) < 0:
            raise ValueError("%r must be >= 0" % key)
    for k, v in entry.get("headers", {}).items():
        if v is not None and not isinstance(v, (str, int)):
            raise ValueError("header %r must be a string or null" % k)


class State:
    """Everything the control port changes, guarded by one lock."""

    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.queue = []          # [entry, remaining] ; remaining 0 = forever
        self.requests = []       # raw request heads, bytes
        self.timings = []        # ms from a head's arrival to its answer sent
        self.release = threading.Event()   # set by reset: hanging sockets go
        self.http_server = None
        self.hosts_original = None
        self.resolving = True
        if args.hosts_file:
            with open(args.hosts_file, "r", encoding="utf-8") as f:
                self.hosts_original = f.read()

    # queue -----------------------------------------------------------------
    def push(self, entries):
        with self.lock:
            for e in entries:
                self.queue.append([e, e.get("repeat", 1)])

    def take(self):
        with self.lock:
            if not self.queue:
                return None
            item = self.queue[0]
            if item[1] != 0:
                item[1] -= 1
                if item[1] == 0:
                    self.queue.pop(0)
            return item[0]

    def record(self, head):
        with self.lock:
            self.requests.append(head)

    def record_timing(self, ms):
        with self.lock:
            self.timings.append(ms)

    def reset(self):
        with self.lock:
            self.queue.clear()
            self.requests.clear()
            self.timings.clear()
            old, self.release = self.release, threading.Event()
        old.set()
        self.set_listening(True)
        self.set_resolving(True)

    # listening -------------------------------------------------------------
    def set_listening(self, on):
        with self.lock:
            server = self.http_server
            if on and server is None:
                server = HttpServer(("127.0.0.1", self.args.http_port), HttpHandler)
                server.state = self
                self.http_server = server
                threading.Thread(target=server.serve_forever, args=(0.05,),
                                 daemon=True).start()
            elif not on and server is not None:
                self.http_server = None
            else:
                return
        if not on:
            server.shutdown()
            server.server_close()
        log("listening %s" % ("on" if on else "off"))

    # name resolution -------------------------------------------------------
    def set_resolving(self, on):
        if self.hosts_original is None:
            if on:
                return
            raise ValueError("no --hosts-file given")
        with self.lock:
            if on == self.resolving:
                return
            self.resolving = on
            text = self.hosts_original if on else self._hosts_without_time_host()
            # Same inode: the file is bind-mounted over /etc/hosts.
            with open(self.args.hosts_file, "r+", encoding="utf-8") as f:
                f.write(text)
                f.truncate()
        log("resolving %s" % ("on" if on else "off"))

    def _hosts_without_time_host(self):
        host = self.args.time_host.lower()
        out = []
        for line in self.hosts_original.splitlines(keepends=True):
            fields = line.partition("#")[0].split()
            if len(fields) < 2 or host not in (f.lower() for f in fields[1:]):
                out.append(line)
                continue
            names = [f for f in fields[1:] if f.lower() != host]
            if names:
                out.append(" ".join([fields[0]] + names) + "\n")
        return "".join(out)


# --- HTTP side -----------------------------------------------------------------

class ClientGone(Exception):
    pass


class HttpServer(socketserver.ThreadingMixIn, socketserver.TCPServer):
    allow_reuse_address = True
    daemon_threads = True
    block_on_close = False  # closing must not wait for hanging connections
    request_queue_size = 64

    def handle_error(self, request, client_address):
        if VERBOSE:
            super().handle_error(request, client_address)

    def shutdown_request(self, request):
        # The handler already shut the socket down the way the entry asked.
        try:
            request.close()
        except OSError:
            pass


class HttpHandler(socketserver.StreamRequestHandler):
    rbufsize = -1
    wbufsize = 0

    def setup(self):
        super().setup()
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        # Only bounds idle reads and stalled writes; hanging waits elsewhere.
        self.connection.settimeout(60)
        self.state = self.server.state

    def handle(self):
        try:
            while True:
                head = self.read_head()
                if head is None:
                    break
                self.state.record(head)
                arrived = time.monotonic()
                path = request_path(head)
                log("request %r" % head.split(b"\r\n", 1)[0])
                entry = self.state.take()
                if entry is None:
                    entry = {} if path == TIME_PATH else {
                        "status": 404, "body": "<html><body>Not Found</body></html>"}
                answered = self.answer(entry)
                # What the server itself took: benchmarks subtract it.
                self.state.record_timing((time.monotonic() - arrived) * 1000.0)
                if not answered:
                    return
                if not entry.get("keep_alive"):
                    break
            self.linger_close()
        except (ClientGone, ConnectionError, socket.timeout):
            pass

    def read_head(self):
        """Request line and headers up to the blank line, verbatim; None on EOF."""
        lines = []
        size = 0
        while True:
            line = self.rfile.readline(MAX_HEAD + 1)
            if not line:
                return None
            lines.append(line)
            size += len(line)
            if size > MAX_HEAD:
                raise ClientGone()
            if line in (b"\r\n", b"\n") and len(lines) > 1:
                break
            if line in (b"\r\n", b"\n"):
                lines.clear()  # stray CRLF between requests
                size = 0
        head = b"".join(lines)
        # Drain a request body so closing later does not turn into a reset.
        for hl in lines[1:]:
            name, _, value = hl.partition(b":")
            if name.strip().lower() == b"content-length":
                try:
                    n = int(value.strip())
                except ValueError:
                    n = 0
                while n > 0:
                    chunk = self.rfile.read(min(n, WRITE_BLOCK))
                    if not chunk:
                        break
                    n -= len(chunk)
        return head

    def linger_close(self):
        # FIN first, then read what the client still sends: closing with
        # unread bytes would send a reset and could destroy the response.
        sock = self.connection
        try:
            sock.shutdown(socket.SHUT_WR)
            sock.settimeout(2.0)
            while sock.recv(4096):
                pass
        except OSError:
            pass

    def answer(self, e):
        """Send the response for entry `e`; False when the socket is done."""
        release = self.state.release
        if "delay_ms" in e:
            time.sleep(e["delay_ms"] / 1000.0)
        if e.get("rst"):
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.connection.close()
            return False
        if e.get("close"):
            self.linger_close()
            return False
        if e.get("hang"):
            hang_ms = e.get("hang_ms")
            release.wait(None if hang_ms is None else hang_ms / 1000.0)
            self.linger_close()
            return False
        if "raw_hex" in e:
            self.connection.sendall(bytes.fromhex(e["raw_hex"]))
            return True

        status = e.get("status", 302 if "redirect" in e else 200)
        hold_until = None
        if "body_hex" in e:
            body = bytes.fromhex(e["body_hex"])
        elif "body" in e:
            body = e["body"].encode("utf-8")
        elif "redirect" in e and "page" not in e and "page_offset_s" not in e:
            body = b"<html><body>Moved</body></html>"
        elif e.get("page") == "at_end":
            hold_until = int(time.time() + e.get("page_offset_s", AT_END_LEAD_S))
            body = page_for(hold_until)
        elif "page_offset_s" in e:
            body = page_for(time.time() + e["page_offset_s"])
        else:
            body = None  # the good page, built at the second boundary

        if body is None and e.get("page") == "soon" and time.time() % 1 < SOON_WINDOW_S:
            sent_at = time.time()
            body = page_for(sent_at)
        elif body is None:
            now = time.time()
            boundary = int(now) + 1
            time.sleep(max(0.0, boundary + 0.002 - now))
            while time.time() < boundary:
                time.sleep(0.0005)
            sent_at = time.time()
            body = page_for(sent_at)
        else:
            sent_at = time.time()

        total = len(body)
        pad = 0
        if "pad_to" in e:
            if e["pad_to"] < total:
                body = body[:e["pad_to"]]
            pad = e["pad_to"] - len(body)
            total = e["pad_to"]

        chunked = e.get("chunked", False)
        cl = e.get("content_length", True)
        headers = [
            ("Date", http_date(sent_at)),
            ("Server", "vesmor-sandbox"),
            ("Content-Type", "text/html"),
        ]
        if "redirect" in e:
            headers.append(("Location", e["redirect"]))
        if chunked:
            headers.append(("Transfer-Encoding", "chunked"))
        if cl is True and not chunked:
            headers.append(("Content-Length", str(total)))
        elif cl is not True and cl is not False:
            headers.append(("Content-Length", str(cl)))
        headers.append(("Connection", "keep-alive" if e.get("keep_alive") else "close"))
        for name, value in e.get("headers", {}).items():
            headers = [h for h in headers if h[0].lower() != name.lower()]
            if value is not None:
                headers.append((name, str(value)))

        reason = e.get("reason", REASONS.get(status, "Status"))
        head = "HTTP/1.1 %d %s\r\n" % (status, reason)
        head += "".join("%s: %s\r\n" % h for h in headers) + "\r\n"

        limit = e.get("cut_after")
        out = Coalescer(self.connection)
        out.write(head.encode("latin-1"))
        pieces = payload(body, pad, limit)
        if hold_until is not None:
            pieces = held_tail(pieces, out, hold_until)
        if chunked:
            size = e.get("chunk_size", 4096)
            for piece in rechunk(pieces, size):
                out.write(b"%x\r\n" % len(piece))
                out.write(piece)
                out.write(b"\r\n")
            if limit is None:
                out.write(b"0\r\n\r\n")
        else:
            for piece in pieces:
                out.write(piece)
        out.flush()
        log("answered %d (%d body bytes)" % (status, total))
        if limit is not None:
            self.linger_close()
            return False
        return True


def payload(body, pad, limit):
    """Body bytes then `pad` 'x' bytes, stopping after `limit` bytes if given."""
    left = float("inf") if limit is None else limit
    if body and left > 0:
        piece = body[:int(min(len(body), left))]
        left -= len(piece)
        yield piece
    while pad > 0 and left > 0:
        n = int(min(pad, len(PAD_BLOCK), left))
        yield PAD_BLOCK[:n] if n < len(PAD_BLOCK) else PAD_BLOCK
        pad -= n
        left -= n


def held_tail(pieces, out, until):
    """The pieces, with the very last byte sent only once `until` has come."""
    last = None
    for piece in pieces:
        if last is not None:
            yield last
        last = piece
    if last:
        yield last[:-1]
        out.flush()
        while time.time() < until:
            time.sleep(max(0.0005, min(0.05, until - time.time())))
        yield last[-1:]


def rechunk(pieces, size):
    buf = b""
    for piece in pieces:
        buf += piece
        while len(buf) >= size:
            yield buf[:size]
            buf = buf[size:]
    if buf:
        yield buf


class Coalescer:
    """Few large writes: a small response leaves in one segment."""

    def __init__(self, sock):
        self.sock = sock
        self.parts = []
        self.size = 0

    def write(self, data):
        self.parts.append(data)
        self.size += len(data)
        if self.size >= WRITE_BLOCK:
            self.flush()

    def flush(self):
        if self.parts:
            try:
                self.sock.sendall(b"".join(self.parts))
            except OSError:
                raise ClientGone()
            self.parts = []
            self.size = 0


# --- control side --------------------------------------------------------------

class ControlServer(socketserver.ThreadingMixIn, socketserver.TCPServer):
    allow_reuse_address = True
    daemon_threads = True
    block_on_close = False


class ControlHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "vesmor-sandbox-control"

    def log_message(self, fmt, *args):
        log("control: " + fmt % args)

    def reply(self, code, body, ctype="text/plain"):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def read_json(self):
        n = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(n) if n else b""
        return json.loads(raw.decode("utf-8") or "null")

    def do_GET(self):
        state = self.server.state
        if self.path == "/requests":
            with state.lock:
                data = b"".join(state.requests)
            self.reply(200, data)
        elif self.path == "/timings":
            with state.lock:
                data = "".join("%.3f\n" % ms for ms in state.timings)
            self.reply(200, data)
        elif self.path == "/queue":
            with state.lock:
                data = [dict(e, remaining=n) for e, n in state.queue]
            self.reply(200, json.dumps(data), "application/json")
        else:
            self.reply(404, "unknown path\n")

    def do_POST(self):
        state = self.server.state
        try:
            data = self.read_json()
            if self.path == "/queue":
                entries = data if isinstance(data, list) else [data]
                for e in entries:
                    validate_entry(e)
                state.push(entries)
            elif self.path == "/reset":
                state.reset()
            elif self.path in ("/listen", "/resolve"):
                if not isinstance(data, dict) or not isinstance(data.get("on"), bool):
                    raise ValueError('expected {"on": true|false}')
                if self.path == "/listen":
                    state.set_listening(data["on"])
                else:
                    state.set_resolving(data["on"])
            else:
                self.reply(404, "unknown path\n")
                return
        except (ValueError, TypeError) as err:  # JSONDecodeError is a ValueError
            self.reply(400, "bad request: %s\n" % err)
            return
        except OSError as err:  # e.g. the HTTP port cannot be bound again
            self.reply(500, "failed: %s\n" % err)
            return
        self.reply(200, "ok\n")


def main():
    global VERBOSE
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--http-port", type=int, default=80)
    p.add_argument("--control-port", type=int, default=8079)
    p.add_argument("--time-host", default="www.hko.gov.hk")
    p.add_argument("--hosts-file")
    p.add_argument("--verbose", action="store_true")
    args = p.parse_args()
    VERBOSE = args.verbose

    state = State(args)
    # The HTTP port first: once the control port answers, both are up.
    state.set_listening(True)
    control = ControlServer(("127.0.0.1", args.control_port), ControlHandler)
    control.state = state

    def stop(signum, frame):
        raise SystemExit(0)
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        control.serve_forever()
    finally:
        try:
            state.set_resolving(True)
        except (OSError, ValueError):
            pass


if __name__ == "__main__":
    main()
