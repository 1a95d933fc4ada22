#!/usr/bin/env python3
"""Checks the sandbox's scripted time server on the host, on free high ports.

The Windows-side tests rely on every byte the server sends, so its behaviour
is pinned down here where failures are cheap to read.
"""

import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "time_server.py")
TIME_HOST = "www.hko.gov.hk"
TIME_PATH = "/cgi-bin/hko/ntime.pl"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def page_stamp(ts):
    return time.strftime("%d/%m/%Y %H:%M:%S", time.localtime(int(ts)))


class Reply:
    def __init__(self, raw, received_at):
        self.raw = raw
        self.received_at = received_at
        head, sep, self.body = raw.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n") if raw else []
        self.status = int(lines[0].split()[1]) if lines else None
        self.headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            self.headers[name.strip().lower()] = value.strip()


class TimeServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.http_port = free_port()
        cls.control_port = free_port()
        fd, cls.hosts = tempfile.mkstemp(prefix="vesmor-hosts-")
        cls.hosts_text = ("127.0.0.1\tlocalhost\n127.0.0.1\t%s\n"
                          "127.0.0.1\tvesmor.example other.example\n" % TIME_HOST)
        with os.fdopen(fd, "w") as f:
            f.write(cls.hosts_text)
        cls.proc = subprocess.Popen(
            [sys.executable, SERVER, "--http-port", str(cls.http_port),
             "--control-port", str(cls.control_port), "--time-host", TIME_HOST,
             "--hosts-file", cls.hosts],
            stdout=subprocess.PIPE)
        deadline = time.time() + 10
        while True:
            try:
                socket.create_connection(("127.0.0.1", cls.control_port), 0.2).close()
                break
            except OSError:
                if time.time() > deadline or cls.proc.poll() is not None:
                    raise RuntimeError("time server did not start")
                time.sleep(0.01)

    @classmethod
    def tearDownClass(cls):
        cls.proc.terminate()
        out, _ = cls.proc.communicate(timeout=10)
        os.unlink(cls.hosts)
        assert out == b"", "the server wrote to stdout: %r" % out

    def setUp(self):
        self.control("POST", "/reset")

    # helpers ---------------------------------------------------------------
    def control(self, method, path, payload=None, expect=200):
        body = b"" if payload is None else (
            payload if isinstance(payload, bytes) else json.dumps(payload).encode())
        with socket.create_connection(("127.0.0.1", self.control_port), 5) as s:
            s.sendall(b"%s %s HTTP/1.0\r\nContent-Length: %d\r\n\r\n%s"
                      % (method.encode(), path.encode(), len(body), body))
            reply = Reply(self.read_all(s), time.time())
        self.assertEqual(reply.status, expect, reply.body)
        return reply.body

    def queue(self, *entries):
        self.control("POST", "/queue", list(entries))

    @staticmethod
    def read_all(sock, count_only=False):
        chunks, total = [], 0
        while True:
            data = sock.recv(1 << 20)
            if not data:
                break
            total += len(data)
            if not count_only or not chunks:
                chunks.append(data)
        return b"".join(chunks) if not count_only else (chunks[0] if chunks else b"", total)

    def request(self, path=TIME_PATH, head=None, timeout=5):
        head = head or ("GET %s HTTP/1.0\r\nHost: %s\r\n\r\n" % (path, TIME_HOST)).encode()
        with socket.create_connection(("127.0.0.1", self.http_port), timeout) as s:
            s.sendall(head)
            raw = self.read_all(s)
        return Reply(raw, time.time())

    # the good page -----------------------------------------------------------
    def test_good_page_is_sent_just_after_a_second_boundary_with_that_second(self):
        for _ in range(2):
            r = self.request()
            self.assertEqual(r.status, 200)
            self.assertEqual(r.headers["connection"], "close")
            self.assertEqual(int(r.headers["content-length"]), len(r.body))
            self.assertLess(r.received_at % 1, 0.1)
            self.assertEqual(
                r.body.decode(),
                "<html><head><title>Current Time</title></head><body><h2>Current Time is : "
                "%s<br></h2></body></html>" % page_stamp(r.received_at))

    def test_other_paths_are_not_found_by_default(self):
        r = self.request("/elsewhere")
        self.assertEqual(r.status, 404)
        self.assertEqual(int(r.headers["content-length"]), len(r.body))

    def test_page_offset_is_sent_at_once(self):
        self.queue({"page_offset_s": 3600})
        t0 = time.time()
        r = self.request()
        self.assertLess(r.received_at - t0, 0.2)
        self.assertIn(("Time is : %s<br>" % page_stamp(t0 + 3600)).encode(), r.body)

    def test_soon_sends_a_young_second_at_once_and_waits_for_the_next_otherwise(self):
        # (where in the second the request goes, whether it is answered at once)
        for lo, hi, at_once in ((0.05, 0.15, True), (0.6, 0.7, False)):
            with self.subTest(at=lo):
                self.queue({"page": "soon"})
                while not lo <= time.time() % 1 < hi:
                    time.sleep(0.005)
                t0 = time.time()
                r = self.request()
                self.assertEqual(int(r.received_at) == int(t0), at_once)
                if not at_once:
                    self.assertLess(r.received_at % 1, 0.1)
                self.assertIn(("Time is : %s<br>" % page_stamp(r.received_at)).encode(), r.body)

    def test_at_end_holds_the_last_byte_until_the_page_is_current(self):
        self.queue({"page": "at_end", "page_offset_s": 1, "pad_to": 200000})
        t0 = time.time()
        with socket.create_connection(("127.0.0.1", self.http_port), 5) as s:
            s.sendall(("GET %s HTTP/1.0\r\n\r\n" % TIME_PATH).encode())
            first = s.recv(1 << 20)
            first_at = time.time()
            raw = first + self.read_all(s)
        r = Reply(raw, time.time())
        self.assertLess(first_at, int(t0) + 1, "the body starts at once")
        self.assertEqual(int(r.received_at), int(t0) + 1)
        self.assertEqual(len(r.body), 200000)
        self.assertIn(("Time is : %s<br>" % page_stamp(r.received_at)).encode(), r.body)

    # the queue ---------------------------------------------------------------
    def test_queue_order_and_repeat(self):
        self.queue({"body": "a", "repeat": 2}, {"status": 500, "body": "b"})
        self.control("POST", "/queue", {"body": "c"})
        got = [(r.status, r.body) for r in (self.request("/x") for _ in range(5))]
        self.assertEqual(got, [(200, b"a"), (200, b"a"), (500, b"b"), (200, b"c"),
                               (404, got[4][1])])

    def test_repeat_zero_serves_until_reset(self):
        self.queue({"body": "again", "repeat": 0})
        for _ in range(4):
            self.assertEqual(self.request().body, b"again")
        self.control("POST", "/reset")
        self.assertEqual(self.request("/x").status, 404)

    def test_response_entries(self):
        big = 3 * 1000 * 1000 + 7
        cases = [
            # entry, status, exact body, header checks (None: header absent)
            ({"body_hex": "00ff0d0a41"}, 200, b"\x00\xff\r\nA", {"content-length": "5"}),
            ({"body": "\u4e2d"}, 200, b"\xe4\xb8\xad", {}),
            ({"body": "abc", "pad_to": big}, 200, b"abc" + b"x" * (big - 3),
             {"content-length": str(big)}),
            ({"body": "abc", "pad_to": 10, "content_length": False}, 200, b"abcxxxxxxx",
             {"content-length": None}),
            ({"body": "abcdef", "content_length": 3}, 200, b"abcdef", {"content-length": "3"}),
            ({"redirect": "http://vesmor.example/a"}, 302, None,
             {"location": "http://vesmor.example/a"}),
            ({"redirect": "/b", "status": 301, "body": "moved"}, 301, b"moved",
             {"location": "/b"}),
            ({"status": 503, "body": "busy", "headers": {"Retry-After": "5", "Server": None}},
             503, b"busy",
             {"retry-after": "5", "server": None}),
            ({"body": "0123456789", "cut_after": 4}, 200, b"0123", {"content-length": "10"}),
            ({"raw_hex": "485454502f312e3020323030204f4b0d0a0d0a6869"}, 200, b"hi", {}),
        ]
        for entry, status, body, headers in cases:
            with self.subTest(entry=entry):
                self.queue(entry)
                r = self.request()
                self.assertEqual(r.status, status)
                if body is not None:
                    self.assertEqual(r.body, body)
                for name, value in headers.items():
                    self.assertEqual(r.headers.get(name), value)

    def test_chunked(self):
        for size, pieces in ((None, [4096, 4096, 1808]), (3, [3, 3, 1])):
            with self.subTest(chunk_size=size):
                entry = {"body": "x" * sum(pieces), "chunked": True}
                if size:
                    entry["chunk_size"] = size
                self.queue(entry)
                r = self.request()
                self.assertEqual(r.headers.get("transfer-encoding"), "chunked")
                self.assertNotIn("content-length", r.headers)
                rest, seen = r.body, []
                while True:
                    line, _, rest = rest.partition(b"\r\n")
                    n = int(line, 16)
                    if n == 0:
                        self.assertEqual(rest, b"\r\n")
                        break
                    seen.append(n)
                    self.assertEqual(rest[n:n + 2], b"\r\n")
                    rest = rest[n + 2:]
                self.assertEqual(seen, pieces)

    def test_hundred_megabytes_stream(self):
        size = 100 * 1000 * 1000
        self.queue({"pad_to": size, "body": "start"})
        with socket.create_connection(("127.0.0.1", self.http_port), 10) as s:
            s.sendall(b"GET / HTTP/1.0\r\n\r\n")
            first, total = self.read_all(s, count_only=True)
        head_len = first.index(b"\r\n\r\n") + 4
        self.assertIn(b"Content-Length: %d\r\n" % size, first[:head_len])
        self.assertEqual(first[head_len:head_len + 5], b"start")
        self.assertEqual(total - head_len, size)

    def test_delay(self):
        self.queue({"body": "late", "delay_ms": 300})
        t0 = time.time()
        r = self.request()
        self.assertEqual(r.body, b"late")
        self.assertGreaterEqual(r.received_at - t0, 0.3)

    # connection behaviour ------------------------------------------------------
    def test_close_and_rst_send_nothing(self):
        for entry in ({"close": True}, {"rst": True}):
            with self.subTest(entry=entry):
                self.queue(entry)
                try:
                    raw = self.request().raw
                except ConnectionResetError:
                    raw = b""
                self.assertEqual(raw, b"")

    def test_hang_until_reset(self):
        self.queue({"hang": True})
        with socket.create_connection(("127.0.0.1", self.http_port), 5) as s:
            s.sendall(b"GET / HTTP/1.0\r\n\r\n")
            s.settimeout(0.3)
            with self.assertRaises(socket.timeout):
                s.recv(1)
            self.assertEqual(len(self.requests()), 1)  # logged while hanging
            self.control("POST", "/listen", {"on": False})  # must not wait for it
            self.control("POST", "/reset")
            s.settimeout(2)
            self.assertEqual(s.recv(1), b"")

    def test_hang_ms(self):
        self.queue({"hang": True, "hang_ms": 200})
        t0 = time.time()
        r = self.request()
        self.assertEqual(r.raw, b"")
        self.assertGreaterEqual(r.received_at - t0, 0.2)

    def test_keep_alive_serves_the_next_request_on_the_same_connection(self):
        self.queue({"body": "one", "keep_alive": True}, {"body": "two"})
        with socket.create_connection(("127.0.0.1", self.http_port), 5) as s:
            s.sendall(b"GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\n")
            raw = self.read_all(s)
        self.assertTrue(raw.endswith(b"\r\n\r\ntwo"))
        self.assertIn(b"Connection: keep-alive\r\n", raw)
        self.assertEqual(len(self.requests()), 2)

    def test_listen_off_refuses_connections(self):
        self.control("POST", "/listen", {"on": False})
        with self.assertRaises(ConnectionRefusedError):
            self.request()
        self.control("POST", "/listen", {"on": True})
        self.assertEqual(self.request("/x").status, 404)
        self.control("POST", "/listen", {"on": False})
        self.control("POST", "/reset")
        self.assertEqual(self.request("/x").status, 404)

    def test_resolve_rewrites_the_hosts_file_in_place(self):
        inode = os.stat(self.hosts).st_ino
        self.control("POST", "/resolve", {"on": False})
        with open(self.hosts) as f:
            text = f.read()
        self.assertNotIn(TIME_HOST, text)
        self.assertIn("vesmor.example other.example", text)
        self.assertIn("localhost", text)
        self.assertEqual(os.stat(self.hosts).st_ino, inode)
        self.control("POST", "/reset")
        with open(self.hosts) as f:
            self.assertEqual(f.read(), self.hosts_text)

    # the request log -------------------------------------------------------------
    def requests(self):
        log = self.control("GET", "/requests")
        return [h + b"\r\n\r\n" for h in log.split(b"\r\n\r\n")[:-1]]

    def test_requests_are_logged_verbatim(self):
        heads = [
            b"GET /cgi-bin/hko/ntime.pl HTTP/1.0\r\nAccept: Accept: */* \r\n\r\n",
            b"GET /x?a=1 HTTP/1.1\r\nHost: " + TIME_HOST.encode()
            + b"\r\nUser-Agent: \xe4\xb8\xad  odd  \r\nX:\r\n\r\n",
            b"POST /p HTTP/1.0\r\nContent-Length: 5\r\n\r\n",
        ]
        self.queue({"body": "ok", "repeat": 0})
        for head in heads:
            extra = b"hello" if head.startswith(b"POST") else b""
            self.assertEqual(self.request(head=head + extra).body, b"ok")
        self.assertEqual(self.requests(), heads)
        self.control("POST", "/reset")
        self.assertEqual(self.control("GET", "/requests"), b"")

    def test_control_rejects_bad_commands(self):
        for path, payload in (("/queue", b"{not json"), ("/queue", {"bogus": 1}),
                              ("/queue", {"status": "200"}), ("/queue", [{"page": "then"}]),
                              ("/listen", {"on": 1}), ("/resolve", {})):
            with self.subTest(path=path, payload=payload):
                self.control("POST", path, payload, expect=400)
        self.assertEqual(json.loads(self.control("GET", "/queue")), [])


if __name__ == "__main__":
    unittest.main()
