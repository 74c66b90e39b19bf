#!/usr/bin/env python3
"""Reference remote service for the Brindle wizard, used by tests and demos.

Serves the configuration request (POST /o), the event sink (POST /zbd), content
downloads (GET/HEAD /f/...), a redirect-chain helper and the funnel report of the recorded
events (GET /report, /report.json) over HTTPS on loopback only.
Tests script faults per path and read back what the wizard sent through /_control/.

Standard library only.
"""

import argparse
import base64
import hashlib
import http
import ipaddress
import json
import os
import re
import select
import signal
import socket
import socketserver
import sqlite3
import ssl
import struct
import sys
import threading
import time
from email.utils import formatdate
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, unquote, urlsplit

import report

MAX_REQUEST_BODY = 16 * 1024 * 1024
MAX_SLEEP_PER_REQUEST = 60.0
IDLE_TIMEOUT = 30.0
HANDSHAKE_TIMEOUT = 10.0
MAX_REDIRECT_HOPS = 100
PATTERN_BLOCK = bytes(range(251))

CONFIG_PART_RE = re.compile(r"[A-Za-z0-9_.-]{1,64}")

STEP_KEYS = {
    "status": int, "headers": dict, "body": str, "body_b64": str, "body_size": int,
    "body_file": str, "content_length": int, "chunked": bool, "no_length": bool,
    "rate": (int, float), "delay_ms": (int, float), "reset": bool,
    "close_after_headers": bool, "stall_after": int, "drop_after": int, "ranges": bool,
}
BODY_SOURCES = ("body", "body_b64", "body_size", "body_file")


class ClientGone(Exception):
    """The peer went away mid-answer; nothing more can be sent."""


# ---------------------------------------------------------------------------
# Storage


class Store:
    """Requests and events in SQLite; one connection shared under a lock."""

    def __init__(self, path):
        self._lock = threading.Lock()
        self._db = sqlite3.connect(path, check_same_thread=False, isolation_level=None)
        self._db.executescript(
            """
            CREATE TABLE IF NOT EXISTS requests (
                id INTEGER PRIMARY KEY AUTOINCREMENT,
                time REAL NOT NULL,
                listener TEXT NOT NULL,
                client TEXT NOT NULL,
                client_port INTEGER NOT NULL,
                method TEXT NOT NULL,
                path TEXT NOT NULL,
                query TEXT NOT NULL,
                version TEXT NOT NULL,
                headers TEXT NOT NULL,
                body BLOB NOT NULL,
                status TEXT,
                sent INTEGER NOT NULL DEFAULT 0
            );
            CREATE TABLE IF NOT EXISTS events (
                id INTEGER PRIMARY KEY AUTOINCREMENT,
                request_id INTEGER,
                time REAL NOT NULL,
                headers TEXT NOT NULL,
                body BLOB NOT NULL,
                tbl TEXT,
                data TEXT,
                event_id TEXT,
                signature TEXT,
                expected_signature TEXT,
                signature_ok INTEGER NOT NULL,
                error TEXT
            );
            """
        )
        self._closed = False

    def _run(self, sql, args=()):
        with self._lock:
            if self._closed:
                return None
            return self._db.execute(sql, args)

    def add_request(self, rec):
        cur = self._run(
            "INSERT INTO requests (time, listener, client, client_port, method, path, query,"
            " version, headers, body) VALUES (?,?,?,?,?,?,?,?,?,?)",
            (rec["time"], rec["listener"], rec["client"], rec["client_port"], rec["method"],
             rec["path"], rec["query"], rec["version"], json.dumps(rec["headers"]),
             rec["body"]))
        return cur.lastrowid if cur is not None else None

    def finish_request(self, request_id, status, sent):
        self._run("UPDATE requests SET status = ?, sent = ? WHERE id = ?", (str(status), sent, request_id))

    def add_event(self, ev):
        self._run(
            "INSERT INTO events (request_id, time, headers, body, tbl, data, event_id,"
            " signature, expected_signature, signature_ok, error)"
            " VALUES (?,?,?,?,?,?,?,?,?,?,?)",
            (ev["request_id"], ev["time"], json.dumps(ev["headers"]), ev["body"], ev["table"],
             None if ev["data"] is None else json.dumps(ev["data"]), ev["event_id"],
             ev["signature"], ev["expected_signature"], int(ev["signature_ok"]), ev["error"]))

    def requests(self, path=None):
        sql = ("SELECT id, time, listener, client, client_port, method, path, query, version,"
               " headers, body, status, sent FROM requests")
        args = ()
        if path is not None:
            sql += " WHERE path = ?"
            args = (path,)
        with self._lock:
            if self._closed:
                return []
            rows = self._db.execute(sql + " ORDER BY id", args).fetchall()
        out = []
        for (rid, t, listener, client, cport, method, p, query, version, headers,
             body, status, sent) in rows:
            body = bytes(body)
            out.append({
                "id": rid, "time": t, "listener": listener, "client": client,
                "client_port": cport, "method": method, "path": p, "query": query,
                "version": version, "headers": json.loads(headers),
                "body": _utf8_or_none(body),
                "body_b64": base64.b64encode(body).decode("ascii"),
                "status": status, "sent": sent,
            })
        return out

    def events(self):
        with self._lock:
            if self._closed:
                return []
            rows = self._db.execute(
                "SELECT id, request_id, time, headers, body, tbl, data, event_id, signature,"
                " expected_signature, signature_ok, error FROM events ORDER BY id").fetchall()
        out = []
        for (eid, rid, t, headers, body, tbl, data, event_id, sig, expected, ok,
             error) in rows:
            body = bytes(body)
            out.append({
                "id": eid, "request_id": rid, "time": t, "headers": json.loads(headers),
                "body": _utf8_or_none(body),
                "body_b64": base64.b64encode(body).decode("ascii"),
                "table": tbl, "data": None if data is None else json.loads(data),
                "event_id": event_id, "signature": sig, "expected_signature": expected,
                "signature_ok": bool(ok), "error": error,
            })
        return out

    def report_rows(self):
        """The events with the address they came from, and the configuration requests: what
        the funnel report reads."""
        with self._lock:
            if self._closed:
                return [], []
            events = self._db.execute(
                "SELECT e.time, e.data, e.signature_ok, r.client FROM events e"
                " LEFT JOIN requests r ON r.id = e.request_id ORDER BY e.id").fetchall()
            configs = self._db.execute(
                "SELECT time, client, body FROM requests WHERE path = '/o' AND method = 'POST'"
                " ORDER BY id").fetchall()
        return ([{"time": t, "data": None if data is None else json.loads(data),
                  "signature_ok": bool(ok), "client": client}
                 for t, data, ok, client in events],
                [{"time": t, "client": client, "body": body} for t, client, body in configs])

    def clear(self):
        self._run("DELETE FROM requests")
        self._run("DELETE FROM events")

    def close(self):
        with self._lock:
            if not self._closed:
                self._closed = True
                self._db.close()


def _utf8_or_none(data):
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return None


# ---------------------------------------------------------------------------
# Scenarios


class Scenarios:
    def __init__(self):
        self._lock = threading.Lock()
        self._steps = {}

    def set(self, path, steps):
        with self._lock:
            if steps:
                self._steps[path] = list(steps)
            else:
                self._steps.pop(path, None)

    def next_step(self, path):
        with self._lock:
            steps = self._steps.get(path)
            if not steps:
                return None
            step = steps.pop(0)
            if not steps:
                del self._steps[path]
            return step

    def snapshot(self):
        with self._lock:
            return {p: list(s) for p, s in self._steps.items()}

    def clear(self):
        with self._lock:
            self._steps.clear()


def validate_step(step):
    """Returns an error text, or None when the step is usable."""
    if not isinstance(step, dict):
        return "a step must be an object"
    for key, value in step.items():
        if key not in STEP_KEYS:
            return "unknown step member %r" % key
        kind = STEP_KEYS[key]
        # bool is an int subclass; a stray true must not pass as a status.
        if isinstance(value, bool) and kind is not bool:
            return "%s has the wrong type" % key
        if not isinstance(value, kind):
            return "%s has the wrong type" % key
    if sum(1 for k in BODY_SOURCES if k in step) > 1:
        return "give at most one of " + ", ".join(BODY_SOURCES)
    if not 100 <= step.get("status", 200) <= 999:
        return "status out of range"
    for key in ("body_size", "content_length", "delay_ms", "stall_after", "drop_after"):
        if step.get(key, 0) < 0:
            return key + " must not be negative"
    if "rate" in step and step["rate"] <= 0:
        return "rate must be positive"
    if step.get("no_length") and (step.get("chunked") or "content_length" in step):
        return "no_length excludes chunked and content_length"
    for name, value in step.get("headers", {}).items():
        if not isinstance(value, (str, int)) or isinstance(value, bool):
            return "header %s must be text" % name
        if re.search(r"[\r\n]", str(name) + str(value)):
            return "header %s contains a line break" % name
    if "body_b64" in step:
        try:
            base64.b64decode(step["body_b64"], validate=True)
        except ValueError:
            return "body_b64 is not base64"
    return None


# ---------------------------------------------------------------------------
# Bodies and paths


class Body:
    """A response body that is streamed, so large patterns and files cost no memory. `tail`
    gives the same body from an offset on, for range answers."""

    def __init__(self, length, pieces, start=0):
        self.length = length
        self._pieces = pieces
        self._start = start

    def pieces(self, size):
        return self._pieces(size, self._start)

    def tail(self, offset):
        return Body(self.length - offset, self._pieces, self._start + offset)

    @staticmethod
    def of(data):
        def gen(size, start):
            for i in range(start, len(data), size):
                yield data[i:i + size]
        return Body(len(data), gen)

    @staticmethod
    def pattern(n):
        # Byte i is i % 251: a prime period catches dropped or repeated blocks.
        def gen(size, start):
            pos = start
            while pos < n:
                count = min(size, n - pos)
                first = pos % 251
                reps = (first + count) // 251 + 1
                yield (PATTERN_BLOCK * reps)[first:first + count]
                pos += count
        return Body(n, gen)

    @staticmethod
    def file(path):
        length = os.path.getsize(path)

        def gen(size, start):
            left = length - start
            with open(path, "rb") as f:
                f.seek(start)
                while left > 0:
                    chunk = f.read(min(size, left))
                    if not chunk:
                        # Shrunk underneath us: pad so the announced length still holds.
                        chunk = b"\0" * min(size, left)
                    left -= len(chunk)
                    yield chunk
        return Body(length, gen)


EMPTY = Body.of(b"")


def safe_relative_file(root, rel):
    """Resolves rel under root, or None for anything that could leave root."""
    if not rel or "\\" in rel or "\0" in rel or rel.startswith("/"):
        return None
    parts = rel.split("/")
    if any(p in ("", ".", "..") for p in parts):
        return None
    if re.match(r"^[A-Za-z]:", rel):
        return None
    base = os.path.realpath(root)
    full = os.path.realpath(os.path.join(base, *parts))
    if os.path.commonpath([base, full]) != base or full == base:
        return None
    if not os.path.isfile(full):
        return None
    return full


def config_part(value):
    if not isinstance(value, str) or not CONFIG_PART_RE.fullmatch(value) or ".." in value:
        return None
    return value


def signature_text(value):
    if value is None:
        return ""
    if isinstance(value, str):
        return value
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


def is_loopback(host):
    try:
        addr = ipaddress.ip_address(host.split("%", 1)[0])
    except ValueError:
        return False
    if isinstance(addr, ipaddress.IPv6Address) and addr.ipv4_mapped is not None:
        addr = addr.ipv4_mapped
    return addr.is_loopback


# ---------------------------------------------------------------------------
# Answers


class Answer:
    def __init__(self, status, body=EMPTY, content_type=None, headers=None):
        self.status = status
        self.body = body
        self.headers = {}
        if content_type:
            self.headers["Content-Type"] = content_type
        if headers:
            self.headers.update(headers)


def json_answer(status, obj):
    return Answer(status, Body.of(json.dumps(obj).encode("utf-8")), "application/json")


def text_answer(status, text):
    return Answer(status, Body.of(text.encode("utf-8")), "text/plain; charset=utf-8")


def natural_content_type(path):
    if path in ("/o", "/zbd"):
        return "application/json"
    return "application/octet-stream"


def merge_headers(base, extra):
    out = dict(base)
    for name, value in extra.items():
        for existing in [k for k in out if k.lower() == name.lower()]:
            del out[existing]
        out[name] = str(value)
    return out


# ---------------------------------------------------------------------------
# Handler


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "brindle-service"
    sys_version = ""
    timeout = IDLE_TIMEOUT

    was_reset = False

    # Wine's WinHTTP fails the request (12152) when it sees an interim 100 Continue, so the
    # body is simply read when it comes.
    def handle_expect_100(self):
        return True

    def log_message(self, fmt, *args):
        self.server.app.log("%s %s %s" % (self.server.label, self._client_text(), fmt % args))

    def log_request(self, code="-", size="-"):
        pass  # one line per request is written by _log_done

    def _client_text(self):
        host, port = self.client_address[:2]
        return ("[%s]:%s" if ":" in host else "%s:%s") % (host, port)

    def handle_one_request(self):
        try:
            self.raw_requestline = self.rfile.readline(65537)
            if len(self.raw_requestline) > 65536:
                self.requestline = ""
                self.request_version = ""
                self.command = ""
                self.send_error(http.HTTPStatus.REQUEST_URI_TOO_LONG)
                return
            if not self.raw_requestline:
                self.close_connection = True
                return
            if not self.parse_request():
                return
            self._dispatch()
            if not self.was_reset:
                self.wfile.flush()
        except (ClientGone, OSError):
            self.close_connection = True

    def finish(self):
        if self.was_reset:
            return
        try:
            super().finish()
        except OSError:
            pass

    # -- request reading

    def _read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            return self._read_chunked()
        length = self.headers.get("Content-Length")
        if length is None:
            return b""
        try:
            n = int(length)
        except ValueError:
            n = -1
        if n < 0 or n > MAX_REQUEST_BODY:
            raise ValueError("bad Content-Length")
        data = self.rfile.read(n)
        if len(data) != n:
            raise ClientGone()
        return data

    def _read_chunked(self):
        out = bytearray()
        while True:
            line = self.rfile.readline(1024)
            if not line:
                raise ClientGone()
            size = int(line.split(b";", 1)[0].strip() or b"x", 16)
            if size == 0:
                while self.rfile.readline(1024) not in (b"\r\n", b"\n", b""):
                    pass
                return bytes(out)
            if len(out) + size > MAX_REQUEST_BODY:
                raise ValueError("body too large")
            chunk = self.rfile.read(size)
            if len(chunk) != size:
                raise ClientGone()
            out += chunk
            self.rfile.readline(1024)

    def _header_object(self):
        out = {}
        for name, value in self.headers.items():
            match = next((k for k in out if k.lower() == name.lower()), None)
            if match is None:
                out[name] = value
            else:
                out[match] += ", " + value
        return out

    # -- dispatch

    def _dispatch(self):
        app = self.server.app
        self._status_sent = None
        self._bytes_sent = 0
        self._note = ""
        self._request_id = None
        target = self.path
        if target.startswith(("http://", "https://")):
            split = urlsplit(target)
            target = (split.path or "/") + ("?" + split.query if split.query else "")
        path, _, query = target.partition("?")
        self.req_path, self.req_query = path, query

        try:
            body = self._read_body()
            bad_framing = False
        except ValueError:
            body, bad_framing = b"", True
            self.close_connection = True

        if path.startswith("/_control/"):
            if not is_loopback(self.client_address[0]):
                self._send(text_answer(403, "forbidden\n"), None)
            elif bad_framing:
                self._send(text_answer(400, "bad request body framing\n"), None)
            else:
                self._send(app.control(self.command, path, query, body), None)
            self._log_done()
            return

        # The report only reads: asking for it leaves no record.
        if path in ("/report", "/report.json"):
            self._send(app.report(self.command, path, query), None)
            self._log_done()
            return

        request_id = self._request_id = app.store.add_request({
            "time": time.time(), "listener": self.server.label,
            "client": self.client_address[0], "client_port": self.client_address[1],
            "method": self.command, "path": path, "query": query,
            "version": self.request_version, "headers": self._header_object(), "body": body,
        })
        if bad_framing:
            self._send(text_answer(400, "bad request body framing\n"), None)
            self._log_done()
            return
        step = app.scenarios.next_step(path)
        if step is None:
            answer = app.route(self, body, request_id)
        else:
            self._note = " step=" + json.dumps(step, separators=(",", ":"))[:200]
            answer = self._step_answer(step, body, request_id)
        try:
            if answer is not None:
                self._send(answer, step)
        finally:
            self._log_done()

    def _step_answer(self, step, body, request_id):
        app = self.server.app
        delay = min(step.get("delay_ms", 0) / 1000.0, MAX_SLEEP_PER_REQUEST)
        if delay > 0:
            time.sleep(delay)
        if step.get("reset"):
            self._reset()
            return None
        status = step.get("status", 200)
        extra = step.get("headers", {})
        source = next((k for k in BODY_SOURCES if k in step), None)
        if source is None and status < 300:
            # Only a step that keeps the route's answer lets the route act (e.g. record an
            # event); a step that replaces the answer stands in for the whole service.
            answer = app.route(self, body, request_id)
            answer.status = status
            answer.headers = merge_headers(answer.headers, extra)
            return answer
        if source is None:
            content = EMPTY
        elif source == "body":
            content = Body.of(step["body"].encode("utf-8"))
        elif source == "body_b64":
            content = Body.of(base64.b64decode(step["body_b64"]))
        elif source == "body_size":
            content = Body.pattern(step["body_size"])
        else:
            full = safe_relative_file(app.content_dir, step["body_file"])
            if full is None:
                return text_answer(500, "body_file not found under the content folder\n")
            content = Body.file(full)
        headers = {}
        if source is not None:
            headers["Content-Type"] = natural_content_type(self.req_path)
        return Answer(status, content, headers=merge_headers(headers, extra))

    def _reset(self):
        # Linger {1, 0} makes close() send RST: the client sees a reset, not an orderly end.
        self.was_reset = True
        self.close_connection = True
        self._status_sent = "RST"
        try:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
        except OSError:
            pass
        for f in (self.rfile, self.wfile):
            try:
                f.close()
            except OSError:
                pass
        try:
            self.connection.close()
        except OSError:
            pass

    # -- response writing

    def _range_answer(self, answer):
        """Honours "Range: bytes=N-" as a server that supports ranges would: a 206 from N on,
        the whole body when If-Range names another version, 416 past the end."""
        match = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range", "").strip())
        if not match:
            return answer
        validator = self.headers.get("If-Range")
        if validator is not None:
            current = [v for k, v in answer.headers.items() if k.lower() in ("etag", "last-modified")]
            if validator.startswith("W/") or validator not in current:
                return answer
        offset, length = int(match.group(1)), answer.body.length
        if offset >= length:
            return Answer(416, EMPTY, headers={"Content-Range": "bytes */%d" % length})
        headers = merge_headers(answer.headers,
                                {"Content-Range": "bytes %d-%d/%d" % (offset, length - 1, length)})
        return Answer(206, answer.body.tail(offset), headers=headers)

    def _send(self, answer, step):
        step = step or {}
        if step.get("ranges") and answer.status == 200:
            answer = self._range_answer(answer)
        headers = dict(answer.headers)
        body = answer.body
        head_only = self.command == "HEAD"

        announced = step.get("content_length")
        for name in [k for k in headers if k.lower() == "content-length"]:
            value = headers.pop(name)
            if announced is None:
                try:
                    announced = int(value)
                except ValueError:
                    pass
        for name in [k for k in headers if k.lower() in ("transfer-encoding", "connection")]:
            del headers[name]
        chunked = bool(step.get("chunked"))
        no_length = bool(step.get("no_length"))
        if chunked and self.request_version != "HTTP/1.1":
            chunked, no_length = False, True  # HTTP/1.0 peers cannot parse chunks
        close_after_headers = bool(step.get("close_after_headers"))

        stall_after = step.get("stall_after")
        drop_after = step.get("drop_after")
        faulty = no_length or close_after_headers or stall_after is not None or drop_after is not None or (
            announced is not None and announced != body.length)
        if faulty:
            self.close_connection = True

        lines = ["HTTP/1.1 %d %s" % (answer.status, _reason(answer.status)),
                 "Server: " + self.server_version,
                 "Date: " + formatdate(usegmt=True)]
        for name, value in headers.items():
            lines.append("%s: %s" % (name, value))
        if chunked:
            lines.append("Transfer-Encoding: chunked")
            if announced is not None:
                lines.append("Content-Length: %d" % announced)
        elif not no_length:
            lines.append("Content-Length: %d" % (body.length if announced is None else announced))
        if self.close_connection:
            lines.append("Connection: close")
        head = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1", "replace")
        self._status_sent = answer.status
        self._write(head)
        if head_only or close_after_headers:
            return

        rate = step.get("rate")
        piece = 16384
        if rate:
            piece = max(1, min(piece, int(rate / 20) or 1))
        slept = 0.0
        for chunk in body.pieces(piece):
            if not chunk:
                continue
            if stall_after is not None and self._bytes_sent + len(chunk) > stall_after:
                chunk = chunk[:stall_after - self._bytes_sent]
                if chunk:
                    self._write(b"%x\r\n" % len(chunk) + chunk + b"\r\n" if chunked else chunk)
                    self._bytes_sent += len(chunk)
                self._stall()
                return
            if drop_after is not None and self._bytes_sent + len(chunk) > drop_after:
                chunk = chunk[:drop_after - self._bytes_sent]
                if chunk:
                    self._write(b"%x\r\n" % len(chunk) + chunk + b"\r\n" if chunked else chunk)
                    self._bytes_sent += len(chunk)
                self._drop()
                return
            if chunked:
                self._write(b"%x\r\n" % len(chunk) + chunk + b"\r\n")
            else:
                self._write(chunk)
            self._bytes_sent += len(chunk)
            if rate and slept < MAX_SLEEP_PER_REQUEST:
                pause = min(len(chunk) / float(rate), MAX_SLEEP_PER_REQUEST - slept)
                time.sleep(pause)
                slept += pause
        if chunked:
            self._write(b"0\r\n\r\n")

    def _drop(self):
        # The connection ends mid-body without the TLS close: TCP's FIN after every byte
        # counted, so the client gets exactly those and then an abrupt end.
        self.wfile.flush()
        self._note += " dropped"
        self.was_reset = True
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_WR)
            self.connection.settimeout(0.2)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                try:
                    if not self.connection.recv(4096):
                        break
                except socket.timeout:
                    continue
        except (OSError, ValueError):
            pass
        for f in (self.rfile, self.wfile):
            try:
                f.close()
            except OSError:
                pass
        self.connection.close()

    def _stall(self):
        # The answer stops mid-body: nothing more is sent until the client gives up (or the
        # longest sleep a request may take has passed), so only the client can end it early.
        self.wfile.flush()
        self._note += " stalled"
        deadline = time.monotonic() + MAX_SLEEP_PER_REQUEST
        self.connection.settimeout(0.2)
        while time.monotonic() < deadline:
            try:
                if not self.connection.recv(4096):
                    return
            except socket.timeout:
                continue
            except (OSError, ValueError):
                return

    def _write(self, data):
        try:
            self.wfile.write(data)
        except (OSError, ValueError) as e:
            raise ClientGone() from e

    def _log_done(self):
        if getattr(self, "_request_id", None) is not None:
            self.server.app.store.finish_request(self._request_id, self._status_sent, self._bytes_sent)
        self.server.app.log('%s %s "%s %s" %s %d%s' % (
            self.server.label, self._client_text(), self.command, self.path,
            self._status_sent, self._bytes_sent, self._note))


def _reason(status):
    try:
        return http.HTTPStatus(status).phrase
    except ValueError:
        return "Status"


# ---------------------------------------------------------------------------
# Routes and control


class App:
    def __init__(self, configs_dir, content_dir, store, quiet):
        self.configs_dir = configs_dir
        self.content_dir = content_dir
        self.store = store
        self.scenarios = Scenarios()
        self.blackhole = None
        self.cutter = None
        self.quiet = quiet
        self._log_lock = threading.Lock()

    def log(self, line):
        if self.quiet:
            return
        with self._log_lock:
            sys.stderr.write("%s %s\n" % (time.strftime("%H:%M:%S"), line))
            sys.stderr.flush()

    def route(self, req, body, request_id):
        method, path, query = req.command, req.req_path, req.req_query
        if path == "/o":
            if method != "POST":
                return text_answer(405, "use POST\n")
            return self.config(body)
        if path == "/zbd":
            if method != "POST":
                return text_answer(405, "use POST\n")
            return self.event(req, body, request_id)
        if path.startswith("/f/"):
            if method not in ("GET", "HEAD"):
                return text_answer(405, "use GET\n")
            return self.content(path[len("/f/"):])
        if path.startswith("/redirect/"):
            return self.redirect(req, path, query)
        return text_answer(404, "not found\n")

    def config(self, body):
        try:
            request = json.loads(body.decode("utf-8"))
        except (UnicodeDecodeError, ValueError):
            request = {}
        if not isinstance(request, dict):
            request = {}
        a, i, s, u = (config_part(request.get(k)) for k in ("a", "i", "s", "u"))
        candidates = []
        if a and i and s and u:
            candidates.append("%s.%s.%s.%s.json" % (a, i, s, u))
        if u:
            candidates.append(u + ".json")
        if a and i and s:
            candidates.append("%s.%s.%s.json" % (a, i, s))
        candidates.append("default.json")
        for name in candidates:
            full = safe_relative_file(self.configs_dir, name)
            if full is None:
                continue
            try:
                with open(full, "rb") as f:
                    data = f.read()
            except OSError:
                continue
            return Answer(200, Body.of(data), "application/json",
                          {"X-Brindle-Config": name})
        return text_answer(404, "no configuration\n")

    def event(self, req, body, request_id):
        headers = req._header_object()
        auth = req.headers.get("Authorization")
        ev = {"request_id": request_id, "time": time.time(), "headers": headers, "body": body,
              "table": None, "data": None, "event_id": None, "signature": auth,
              "expected_signature": None, "signature_ok": False, "error": None}
        try:
            outer = json.loads(body.decode("utf-8"))
            if not isinstance(outer, dict):
                raise ValueError("body is not a JSON object")
            table = outer.get("table")
            ev["table"] = table if isinstance(table, str) else None
            if not isinstance(outer.get("data"), str):
                raise ValueError('"data" is missing or not a string')
            data = json.loads(outer["data"])
            if not isinstance(data, dict):
                raise ValueError('"data" is not a JSON object')
        except (UnicodeDecodeError, ValueError) as e:
            ev["error"] = "%s: %s" % (type(e).__name__, e)
            self.store.add_event(ev)
            return json_answer(400, {"ok": False, "error": ev["error"]})
        ev["data"] = data
        event_id = data.get("6")
        ev["event_id"] = None if event_id is None else signature_text(event_id)
        digest = hashlib.sha256(
            (signature_text(data.get("1")) + signature_text(data.get("2"))).encode("utf-8"))
        ev["expected_signature"] = "Signature=" + digest.hexdigest()
        ev["signature_ok"] = auth == ev["expected_signature"]
        self.store.add_event(ev)
        return json_answer(200, {"ok": True})

    def report(self, method, path, query):
        as_json = path == "/report.json"
        if method not in ("GET", "HEAD"):
            return text_answer(405, "use GET\n")
        try:
            wanted = report.parse_filter(query)
        except report.FilterError as e:
            if as_json:
                return json_answer(400, {"ok": False, "error": str(e)})
            return self._page(400, report.render_error(str(e)))
        events, configs = self.store.report_rows()
        result = report.build_report(events, configs, wanted["campaign"], wanted["since"],
                                     wanted["until"])
        if as_json:
            answer = json_answer(200, result)
            answer.headers.update(report.REPORT_HEADERS)
            return answer
        return self._page(200, report.render_page(result, wanted["given"]))

    @staticmethod
    def _page(status, text):
        # A lone surrogate from a hostile payload cannot be encoded; it becomes "?".
        return Answer(status, Body.of(text.encode("utf-8", "replace")), "text/html; charset=utf-8",
                      report.REPORT_HEADERS)

    def content(self, rel):
        full = safe_relative_file(self.content_dir, unquote(rel))
        if full is None:
            return text_answer(404, "not found\n")
        return Answer(200, Body.file(full), "application/octet-stream")

    def redirect(self, req, path, query):
        # /redirect/<n>/<abs|rel>/<rest>: n is the number of 302 answers before /<rest>.
        parts = path.split("/", 4)
        if len(parts) < 5 or not parts[2].isdigit() or parts[3] not in ("abs", "rel"):
            return text_answer(404, "use /redirect/<n>/<abs|rel>/<path>\n")
        n, mode, rest = int(parts[2]), parts[3], parts[4]
        if n > MAX_REDIRECT_HOPS:
            return text_answer(400, "too many hops\n")
        if n > 1:
            target = "/redirect/%d/%s/%s" % (n - 1, mode, rest)
        else:
            target = "/" + rest
        if query:
            target += "?" + query
        if mode == "abs":
            host = req.headers.get("Host") or "localhost:%d" % req.server.server_address[1]
            target = "https://" + host + target
        return Answer(302, EMPTY, headers={"Location": target})

    def control(self, method, path, query, body):
        name = path[len("/_control/"):]
        if name == "health":
            return json_answer(200, {"ok": True})
        if name == "requests" and method == "GET":
            wanted = parse_qs(query).get("path")
            return json_answer(200, self.store.requests(wanted[0] if wanted else None))
        if name == "events" and method == "GET":
            return json_answer(200, self.store.events())
        if name == "scenarios" and method == "GET":
            return json_answer(200, self.scenarios.snapshot())
        if name == "blackhole" and method == "GET":
            if self.blackhole is None:
                return json_answer(404, {"ok": False, "error": "no black hole"})
            return json_answer(200, {"accepted": self.blackhole.accepted()})
        if name == "cutter":
            if self.cutter is None:
                return json_answer(404, {"ok": False, "error": "no cutter"})
            if method == "GET":
                return json_answer(200, {"connections": self.cutter.connections()})
            try:
                cuts = json.loads(body.decode("utf-8")).get("cut_after")
            except (UnicodeDecodeError, ValueError, AttributeError):
                cuts = None
            if not isinstance(cuts, list) or not all(
                    isinstance(n, int) and not isinstance(n, bool) and n >= 0 for n in cuts):
                return json_answer(400, {"ok": False, "error": 'expected {"cut_after": [bytes, ...]}'})
            self.cutter.set_cuts(cuts)
            return json_answer(200, {"ok": True})
        if name == "reset" and method == "POST":
            self.scenarios.clear()
            self.store.clear()
            if self.blackhole is not None:
                self.blackhole.clear()

            return json_answer(200, {"ok": True})
        if name == "scenario" and method == "POST":
            try:
                doc = json.loads(body.decode("utf-8"))
            except (UnicodeDecodeError, ValueError):
                return json_answer(400, {"ok": False, "error": "body is not JSON"})
            if not isinstance(doc, dict) or not isinstance(doc.get("path"), str) \
                    or not doc["path"].startswith("/") or not isinstance(doc.get("steps"), list):
                return json_answer(400, {"ok": False,
                                         "error": 'expected {"path": "/...", "steps": [...]}'})
            if doc["path"].startswith("/_control/"):
                return json_answer(400, {"ok": False, "error": "control paths take no steps"})
            for index, step in enumerate(doc["steps"]):
                error = validate_step(step)
                if error:
                    return json_answer(400, {"ok": False, "error": "step %d: %s" % (index, error)})
            self.scenarios.set(doc["path"], doc["steps"])
            return json_answer(200, {"ok": True, "path": doc["path"],
                                     "steps": len(doc["steps"])})
        return json_answer(404, {"ok": False, "error": "unknown control route"})


# ---------------------------------------------------------------------------
# Listeners


class BlackHole:
    """Accepts connections and never answers, the peer of the time-out tests. What a client
    sends is read and dropped; a connection is closed only when the client closes it."""

    def __init__(self, host, port):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((host, port))
        self.sock.listen(64)
        self.address = self.sock.getsockname()
        self._lock = threading.Lock()
        self._accepted = 0

    def accepted(self):
        with self._lock:
            return self._accepted

    def clear(self):
        with self._lock:
            self._accepted = 0

    def serve(self, stop):
        held = []
        while not stop.is_set():
            readable, _, _ = select.select([self.sock] + held, [], [], 0.2)
            for s in readable:
                if s is self.sock:
                    try:
                        conn, _ = self.sock.accept()
                    except OSError:
                        continue
                    held.append(conn)
                    with self._lock:
                        self._accepted += 1
                    continue
                try:
                    data = s.recv(65536)
                except OSError:
                    data = b""
                if not data:
                    held.remove(s)
                    s.close()
        for s in held + [self.sock]:
            s.close()


class Cutter:
    """A TCP relay to another loopback port that cuts chosen connections: each of the next
    connections is reset after the number of bytes from the target given for it. It stands in
    front of servers that cannot be told to fail (the harness's nginx), and counts the bytes it
    passed to the client per connection."""

    def __init__(self, port, target_port):
        self.socks = []
        for family, host in ((socket.AF_INET, "127.0.0.1"), (socket.AF_INET6, "::1")):
            try:
                sock = socket.socket(family, socket.SOCK_STREAM)
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                if family == socket.AF_INET6:
                    sock.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
                sock.bind((host, port))
                sock.listen(64)
                self.socks.append(sock)
            except OSError:
                if family == socket.AF_INET:
                    raise
        self.port = self.socks[0].getsockname()[1]
        self.target = ("127.0.0.1", target_port)
        self._lock = threading.Lock()
        self._cuts = []
        self._passed = []

    def set_cuts(self, cuts):
        # Starts the count afresh too; the service's reset leaves the cutter alone, since its
        # users (the nginx tests) run beside the service's own.
        with self._lock:
            self._cuts = list(cuts)
            self._passed = []

    def connections(self):
        with self._lock:
            return list(self._passed)

    def serve(self, stop):
        while not stop.is_set():
            readable, _, _ = select.select(self.socks, [], [], 0.2)
            for sock in readable:
                try:
                    conn, _ = sock.accept()
                except OSError:
                    continue
                with self._lock:
                    cut = self._cuts.pop(0) if self._cuts else None
                    index = len(self._passed)
                    self._passed.append(0)
                threading.Thread(target=self._relay, args=(conn, cut, index), daemon=True).start()
        for sock in self.socks:
            sock.close()

    def _relay(self, client, cut, index):
        try:
            upstream = socket.create_connection(self.target, timeout=10)
        except OSError:
            client.close()
            return

        def to_target():
            # Ends when the client closes; owns the client socket from then on.
            try:
                while True:
                    data = client.recv(65536)
                    if not data:
                        break
                    upstream.sendall(data)
            except OSError:
                pass
            for sock in (upstream, client):
                try:
                    sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                sock.close()
        threading.Thread(target=to_target, daemon=True).start()
        try:
            upstream.settimeout(None)
            while True:
                data = upstream.recv(65536)
                if not data:
                    break
                with self._lock:
                    left = None if cut is None else cut - self._passed[index]
                if left is not None and len(data) >= left:
                    data = data[:left]
                client.sendall(data)
                with self._lock:
                    self._passed[index] += len(data)
                if left is not None and len(data) == left:
                    break
        except OSError:
            pass
        # A cut ends the stream mid-record, without the TLS close: the client has every byte
        # counted here and then an abrupt end.
        try:
            client.shutdown(socket.SHUT_WR)
        except OSError:
            pass


class TLSServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, family, ssl_context, app, label):
        self.address_family = family
        self.ssl_context = ssl_context
        self.app = app
        self.label = label
        super().__init__(address, Handler)

    def server_bind(self):
        if self.address_family == socket.AF_INET6:
            self.socket.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
        socketserver.TCPServer.server_bind(self)
        self.server_name = "localhost"
        self.server_port = self.server_address[1]

    # The handshake runs on the connection's own thread so a stalled client cannot hold up
    # accept().
    def finish_request(self, request, client_address):
        request.settimeout(HANDSHAKE_TIMEOUT)
        if self.ssl_context is None:
            # The plain listener exists only so tests can prove that nothing reached it.
            try:
                self.RequestHandlerClass(request, client_address, self)
            except OSError:
                pass
            return
        try:
            conn = self.ssl_context.wrap_socket(request, server_side=True)
        except (OSError, ValueError) as e:
            # A client refusing our certificate ends here; worth a line when debugging Wine.
            self.app.log("%s %s:%s TLS handshake failed: %s" % (
                self.label, client_address[0], client_address[1], e))
            return
        handler = None
        try:
            handler = self.RequestHandlerClass(conn, client_address, self)
        except OSError:
            pass
        finally:
            if handler is None or not handler.was_reset:
                _close_tls(conn)

    def handle_error(self, request, client_address):
        if sys.exc_info()[0] is not None and issubclass(sys.exc_info()[0], OSError):
            return
        super().handle_error(request, client_address)


def _close_tls(conn):
    # close_notify before FIN: a short body then reads as a clean end, so the client's own
    # Content-Length check is what has to notice.
    try:
        conn.settimeout(1.0)
        plain = conn.unwrap()
        plain.close()
    except (OSError, ValueError):
        pass
    try:
        conn.close()
    except OSError:
        pass


def make_context(cert, key):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(cert, key)
    return ctx


def open_listeners(host, port, ctx, app, label, log):
    """IPv4 (or the given address) first, then ::1 on the same port when that is possible."""
    servers = []
    if host in ("localhost", "127.0.0.1"):
        primary = TLSServer(("127.0.0.1", port), socket.AF_INET, ctx, app, label)
        servers.append(primary)
        try:
            servers.append(TLSServer(("::1", primary.server_address[1], 0, 0),
                                     socket.AF_INET6, ctx, app, label))
        except OSError as e:
            log("no IPv6 loopback listener on port %d: %s" % (primary.server_address[1], e))
    elif ":" in host:
        servers.append(TLSServer((host, port, 0, 0), socket.AF_INET6, ctx, app, label))
    else:
        servers.append(TLSServer((host, port), socket.AF_INET, ctx, app, label))
    return servers


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--configs", required=True)
    p.add_argument("--content", required=True)
    p.add_argument("--db", required=True)
    p.add_argument("--cert", required=True)
    p.add_argument("--key", required=True)
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=443)
    p.add_argument("--untrusted-port", type=int)
    p.add_argument("--untrusted-cert")
    p.add_argument("--untrusted-key")
    p.add_argument("--blackhole", metavar="ADDRESS:PORT",
                   help="also accept connections here and never answer them (loopback only)")
    p.add_argument("--plain-port", type=int,
                   help="also serve plain HTTP on this loopback port (label \"plain\")")
    p.add_argument("--cutter", metavar="PORT:TARGET_PORT",
                   help="also relay this loopback port to another, cutting connections on request")
    p.add_argument("--ready-file")
    p.add_argument("--quiet", action="store_true")
    args = p.parse_args(argv)

    if args.host != "localhost" and not is_loopback(args.host):
        p.error("--host must be a loopback address")
    if args.cutter and not re.fullmatch(r"\d+:\d+", args.cutter):
        p.error("--cutter takes PORT:TARGET_PORT")
    if args.untrusted_port is not None and not (args.untrusted_cert and args.untrusted_key):
        p.error("--untrusted-port needs --untrusted-cert and --untrusted-key")
    for folder in (args.configs, args.content):
        if not os.path.isdir(folder):
            p.error("not a folder: " + folder)
    blackhole_address = None
    if args.blackhole:
        host, _, port = args.blackhole.rpartition(":")
        if not port.isdigit() or not is_loopback(host):
            p.error("--blackhole must be a loopback IPv4 address and a port")
        blackhole_address = (host, int(port))

    if args.ready_file and os.path.exists(args.ready_file):
        os.unlink(args.ready_file)

    store = Store(args.db)
    app = App(args.configs, args.content, store, args.quiet)
    stop = threading.Event()

    def on_signal(signum, frame):
        stop.set()
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    servers = []
    try:
        servers += open_listeners(args.host, args.port, make_context(args.cert, args.key),
                                  app, "trusted", app.log)
        if args.untrusted_port is not None:
            servers += open_listeners(
                args.host, args.untrusted_port,
                make_context(args.untrusted_cert, args.untrusted_key), app, "untrusted",
                app.log)
        if args.plain_port is not None:
            servers += open_listeners(args.host, args.plain_port, None, app, "plain", app.log)
        if blackhole_address is not None:
            app.blackhole = BlackHole(*blackhole_address)
        if args.cutter:
            port, _, target = args.cutter.partition(":")
            app.cutter = Cutter(int(port), int(target))
    except (OSError, ssl.SSLError) as e:
        for s in servers:
            s.server_close()
        store.close()
        sys.stderr.write("brindle_service: cannot listen: %s\n" % e)
        return 1

    threads = []
    for s in servers:
        t = threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.2},
                             name="serve-%s-%s" % (s.label, s.server_address[0]), daemon=True)
        t.start()
        threads.append(t)
    blackhole_text = None
    if app.blackhole is not None:
        threading.Thread(target=app.blackhole.serve, args=(stop,), name="blackhole",
                         daemon=True).start()
        blackhole_text = "%s:%d" % app.blackhole.address
        app.log("black hole on " + blackhole_text)
    if app.cutter is not None:
        threading.Thread(target=app.cutter.serve, args=(stop,), name="cutter", daemon=True).start()
        app.log("cutter on %d to %d" % (app.cutter.port, app.cutter.target[1]))

    listeners = [{"host": s.server_address[0], "port": s.server_address[1], "tls": s.label}
                 for s in servers]
    trusted_port = next(s.server_address[1] for s in servers if s.label == "trusted")
    untrusted_port = next((s.server_address[1] for s in servers if s.label == "untrusted"),
                          None)
    plain_port = next((s.server_address[1] for s in servers if s.label == "plain"), None)
    for entry in listeners:
        app.log("listening on %s://%s:%d (%s)" % (
            "http" if entry["tls"] == "plain" else "https",
            "[%s]" % entry["host"] if ":" in entry["host"] else entry["host"],
            entry["port"], entry["tls"]))
    if args.ready_file:
        tmp = args.ready_file + ".tmp"
        with open(tmp, "w") as f:
            json.dump({"pid": os.getpid(), "port": trusted_port,
                       "untrusted_port": untrusted_port, "plain_port": plain_port,
                       "blackhole": blackhole_text,
                       "cutter": None if app.cutter is None else app.cutter.port,
                       "listeners": listeners}, f)
        os.replace(tmp, args.ready_file)

    while not stop.wait(0.5):
        pass

    app.log("shutting down")
    # shutdown() blocks until that listener's loop notices; wait for all of them at once.
    stoppers = [threading.Thread(target=s.shutdown) for s in servers]
    for t in stoppers:
        t.start()
    for t in stoppers:
        t.join()
    for s in servers:
        s.server_close()
    store.close()
    if args.ready_file:
        try:
            os.unlink(args.ready_file)
        except OSError:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
