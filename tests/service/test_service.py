#!/usr/bin/env python3
"""Tests for service/brindle_service.py and scripts/make_test_ca.sh.

Run: python3 tests/service/test_service.py
Every server here listens on loopback only and every client trusts the test CA explicitly.
"""

import base64
import hashlib
import http.client
import json
import os
import shutil
import signal
import socket
import ssl
import stat
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SERVICE = os.path.join(ROOT, "service", "brindle_service.py")
MAKE_CA = os.path.join(ROOT, "scripts", "make_test_ca.sh")

CA_DIR = None
_module_tmp = None


def setUpModule():
    global CA_DIR, _module_tmp
    _module_tmp = tempfile.TemporaryDirectory(prefix="brindle-ca-")
    CA_DIR = os.path.join(_module_tmp.name, "ca")
    subprocess.run(["bash", MAKE_CA, CA_DIR], check=True, capture_output=True, timeout=60)


def tearDownModule():
    _module_tmp.cleanup()


def ca_file(name):
    return os.path.join(CA_DIR, name)


def pattern(n):
    return bytes(i % 251 for i in range(n))


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def client_context(cafile=None):
    return ssl.create_default_context(cafile=cafile or ca_file("ca.pem"))


def openssl_text(path):
    return subprocess.run(["openssl", "x509", "-in", path, "-noout", "-text"], check=True,
                          capture_output=True, text=True).stdout


def cert_days(path):
    out = subprocess.run(["openssl", "x509", "-in", path, "-noout", "-startdate", "-enddate"],
                         check=True, capture_output=True, text=True).stdout
    dates = dict(line.split("=", 1) for line in out.strip().splitlines())
    return (ssl.cert_time_to_seconds(dates["notAfter"])
            - ssl.cert_time_to_seconds(dates["notBefore"])) / 86400.0


def openssl_verifies(cafile, cert):
    return subprocess.run(["openssl", "verify", "-CAfile", cafile, cert],
                          capture_output=True).returncode == 0


# ---------------------------------------------------------------------------


class TestCertificateAuthority(unittest.TestCase):

    def test_files_exist_and_keys_are_private(self):
        for name in ("ca.pem", "ca.key", "ca.der", "server.pem", "server.key",
                     "untrusted-ca.pem", "untrusted-server.pem", "untrusted-server.key"):
            self.assertTrue(os.path.getsize(ca_file(name)) > 0, name)
        for name in ("ca.key", "server.key", "untrusted-server.key"):
            self.assertEqual(stat.S_IMODE(os.stat(ca_file(name)).st_mode), 0o600, name)

    def test_ca_certificate(self):
        text = openssl_text(ca_file("ca.pem"))
        self.assertIn("Subject: CN = Brindle Test CA", text)
        self.assertIn("rsaEncryption", text)
        self.assertIn("Public-Key: (2048 bit)", text)
        self.assertIn("sha256WithRSAEncryption", text)
        self.assertIn("X509v3 Basic Constraints: critical\n                CA:TRUE, pathlen:0",
                      text)
        self.assertIn("X509v3 Key Usage: critical\n                Certificate Sign, CRL Sign",
                      text)
        self.assertIn("X509v3 Name Constraints: critical", text)
        self.assertIn("DNS:localhost", text)
        self.assertIn("IP:127.0.0.1/255.255.255.255", text)
        self.assertLessEqual(cert_days(ca_file("ca.pem")), 825)

    def test_server_certificate(self):
        text = openssl_text(ca_file("server.pem"))
        self.assertIn("Subject: CN = localhost", text)
        self.assertIn("DNS:localhost, IP Address:127.0.0.1", text)
        self.assertIn("TLS Web Server Authentication", text)
        self.assertIn("X509v3 Key Usage: critical\n                Digital Signature, Key "
                      "Encipherment", text)
        self.assertIn("X509v3 Basic Constraints: critical\n                CA:FALSE", text)
        self.assertLess(cert_days(ca_file("server.pem")), 398)
        self.assertTrue(openssl_verifies(ca_file("ca.pem"), ca_file("server.pem")))

    def test_untrusted_pair_is_independent(self):
        self.assertTrue(openssl_verifies(ca_file("untrusted-ca.pem"),
                                         ca_file("untrusted-server.pem")))
        self.assertFalse(openssl_verifies(ca_file("ca.pem"), ca_file("untrusted-server.pem")))
        self.assertFalse(openssl_verifies(ca_file("untrusted-ca.pem"), ca_file("server.pem")))

    def test_der_is_the_same_certificate(self):
        with open(ca_file("ca.pem")) as f:
            der = ssl.PEM_cert_to_DER_cert(f.read())
        with open(ca_file("ca.der"), "rb") as f:
            self.assertEqual(f.read(), der)

    def test_second_run_changes_nothing(self):
        def snapshot():
            out = {}
            for name in os.listdir(CA_DIR):
                if not name.startswith("."):
                    with open(ca_file(name), "rb") as f:
                        out[name] = (os.stat(ca_file(name)).st_mtime_ns, f.read())
            return out
        before = snapshot()
        subprocess.run(["bash", MAKE_CA, CA_DIR], check=True, capture_output=True, timeout=60)
        self.assertEqual(snapshot(), before)

    def test_missing_file_remakes_a_consistent_set(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "ca")
            shutil.copytree(CA_DIR, out)
            os.unlink(os.path.join(out, "server.pem"))
            subprocess.run(["bash", MAKE_CA, out], check=True, capture_output=True, timeout=60)
            self.assertTrue(openssl_verifies(os.path.join(out, "ca.pem"),
                                             os.path.join(out, "server.pem")))
            self.assertEqual(stat.S_IMODE(os.stat(os.path.join(out, "ca.key")).st_mode), 0o600)
            self.assertEqual(sorted(n for n in os.listdir(out) if not n.startswith(".")),
                             sorted(n for n in os.listdir(CA_DIR) if not n.startswith(".")))


# ---------------------------------------------------------------------------


class TestSampleDocument(unittest.TestCase):
    """The sample document names every file it makes the wizard download by that file's hash."""

    def test_hashes_match_the_files_served(self):
        sample = os.path.join(ROOT, "service", "sample")
        with open(os.path.join(sample, "configs", "default.json"), encoding="utf-8") as f:
            document = json.load(f)
        entries = [(document["i"]["cu"], document["i"]["sha256"])]
        entries += [(o["ps"]["u"], o["ps"]["sha256"]) for o in document["o"]]
        for url, sha256 in entries:
            path = url.split("/f/", 1)[1].split("?", 1)[0]
            with open(os.path.join(sample, "content", path), "rb") as f:
                self.assertEqual(hashlib.sha256(f.read()).hexdigest(), sha256, url)


class Response:
    def __init__(self, status, headers, body):
        self.status = status
        self.headers = headers  # list of (name, value) as sent
        self.body = body

    def header(self, name):
        for k, v in self.headers:
            if k.lower() == name.lower():
                return v
        return None

    def json(self):
        return json.loads(self.body)


class ServiceTestCase(unittest.TestCase):
    """Starts one service per class on free loopback ports with its own folders."""

    untrusted = False
    plain = False
    blackhole = False
    cutter = False

    @classmethod
    def populate(cls, configs, content):
        pass

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="brindle-svc-")
        cls.root = cls.tmp.name
        cls.configs = os.path.join(cls.root, "configs")
        cls.content = os.path.join(cls.root, "content")
        os.makedirs(cls.configs)
        os.makedirs(cls.content)
        cls.populate(cls.configs, cls.content)
        cls.ready_file = os.path.join(cls.root, "ready.json")
        cls.port = free_port()
        cmd = [sys.executable, SERVICE, "--configs", cls.configs, "--content", cls.content,
               "--db", os.path.join(cls.root, "service.db"),
               "--cert", ca_file("server.pem"), "--key", ca_file("server.key"),
               "--host", "127.0.0.1", "--port", str(cls.port),
               "--ready-file", cls.ready_file, "--quiet"]
        if cls.plain:
            cls.plain_port = free_port()
            cmd += ["--plain-port", str(cls.plain_port)]
        if cls.blackhole:
            cls.blackhole_port = free_port()
            cmd += ["--blackhole", "127.0.0.1:%d" % cls.blackhole_port]
        if cls.cutter:
            cls.cutter_port = free_port()
            cmd += ["--cutter", "%d:%d" % (cls.cutter_port, cls.port)]
        if cls.untrusted:
            cls.untrusted_port = free_port()
            cmd += ["--untrusted-port", str(cls.untrusted_port),
                    "--untrusted-cert", ca_file("untrusted-server.pem"),
                    "--untrusted-key", ca_file("untrusted-server.key")]
        cls.stderr = open(os.path.join(cls.root, "stderr.txt"), "w+")
        cls.proc = subprocess.Popen(cmd, stderr=cls.stderr)
        deadline = time.monotonic() + 10
        while not os.path.exists(cls.ready_file):
            if cls.proc.poll() is not None or time.monotonic() > deadline:
                cls.stop_service()
                cls.stderr.seek(0)
                raise RuntimeError("service did not start: " + cls.stderr.read())
            time.sleep(0.05)
        with open(cls.ready_file) as f:
            cls.ready = json.load(f)

    @classmethod
    def stop_service(cls):
        if cls.proc.poll() is None:
            cls.proc.send_signal(signal.SIGTERM)
            try:
                cls.proc.wait(10)
            except subprocess.TimeoutExpired:
                cls.proc.kill()
                cls.proc.wait(5)
        return cls.proc.returncode

    @classmethod
    def tearDownClass(cls):
        cls.stop_service()
        cls.stderr.close()
        cls.tmp.cleanup()

    def setUp(self):
        self.assertEqual(self.control_post("reset", {}).status, 200)

    # -- client helpers

    def connect(self, port=None, cafile=None, timeout=10):
        return http.client.HTTPSConnection("localhost", port or self.port, timeout=timeout,
                                           context=client_context(cafile))

    def request(self, method, path, body=None, headers=None, conn=None):
        own = conn is None
        conn = conn or self.connect()
        try:
            conn.request(method, path, body=body, headers=headers or {})
            resp = conn.getresponse()
            data = resp.read()
            return Response(resp.status, resp.getheaders(), data)
        finally:
            if own:
                conn.close()

    def control_get(self, name):
        resp = self.request("GET", "/_control/" + name)
        self.assertEqual(resp.status, 200, resp.body)
        return resp.json()

    def control_post(self, name, obj):
        return self.request("POST", "/_control/" + name, json.dumps(obj).encode(),
                            {"Content-Type": "application/json"})

    def scenario(self, path, steps):
        resp = self.control_post("scenario", {"path": path, "steps": steps})
        self.assertEqual(resp.status, 200, resp.body)

    def post_json(self, path, obj_or_bytes, headers=None):
        body = obj_or_bytes if isinstance(obj_or_bytes, bytes) else json.dumps(
            obj_or_bytes, separators=(",", ":"), sort_keys=True).encode()
        h = {"Content-Type": "application/json", "Expect": "100-continue"}
        h.update(headers or {})
        return self.request("POST", path, body, h)


def wizard_config_request(a="Tavrel", i="Tavrel_DLM", s="Tavrel_3cpp", u="ab12-cd"):
    return {"a": a, "i": i, "l": "en", "o": "10.0.18362", "plv": "3.2.2.12299", "prv": "0.1",
            "s": s, "u": u}


# ---------------------------------------------------------------------------


class TestConfigSelection(ServiceTestCase):
    FILES = {
        "Acc.Inst.Setup.camp1.json": b'{"which":"full"}',
        "camp1.json": b'{"which":"camp1"}',
        "camp2.json": b'{"which":"camp2"}',
        "Acc.Inst.Setup.json": b'{"which":"ais"}',
        # Odd spacing, no final newline and non-ASCII: the bytes must come back untouched.
        "default.json": '{ "which" :"default",\n\t"name":"Caf\u00e9 \u2713"}'.encode("utf-8"),
    }
    SECRET = b'{"which":"secret-outside"}'

    @classmethod
    def populate(cls, configs, content):
        for name, data in cls.FILES.items():
            with open(os.path.join(configs, name), "wb") as f:
                f.write(data)
        with open(os.path.join(os.path.dirname(configs), "secret.json"), "wb") as f:
            f.write(cls.SECRET)

    def which(self, **kw):
        resp = self.post_json("/o", wizard_config_request(**kw))
        self.assertEqual(resp.status, 200)
        return resp.json()["which"]

    def test_order_of_candidates(self):
        self.assertEqual(self.which(a="Acc", i="Inst", s="Setup", u="camp1"), "full")
        self.assertEqual(self.which(a="Acc", i="Inst", s="Setup", u="camp2"), "camp2")
        self.assertEqual(self.which(a="Other", i="Inst", s="Setup", u="camp1"), "camp1")
        self.assertEqual(self.which(a="Acc", i="Inst", s="Setup", u="nothing"), "ais")
        self.assertEqual(self.which(a="Acc", i="Inst", s="Setup", u=""), "ais")
        self.assertEqual(self.which(a="Acc", i="Inst", s="", u=""), "default")
        self.assertEqual(self.which(a="x", i="y", s="z", u="w"), "default")

    def test_answer_is_the_stored_bytes(self):
        resp = self.post_json("/o", wizard_config_request())
        self.assertEqual(resp.status, 200)
        self.assertEqual(resp.body, self.FILES["default.json"])
        self.assertEqual(resp.header("Content-Length"), str(len(self.FILES["default.json"])))
        self.assertEqual(resp.header("Content-Type"), "application/json")

    def test_unsafe_parts_are_skipped(self):
        for u in ("../secret", "..", "a/b", "..\\secret", "/etc/passwd", "x" * 65, "",
                  "camp1\u00e9", " camp1"):
            self.assertEqual(self.which(a="Acc", i="Inst", s="Setup", u=u), "ais", repr(u))
        for a in ("../..", "Acc/..", "..Acc"):
            self.assertEqual(self.which(a=a, i="Inst", s="Setup", u="nothing"), "default")
        # Non-text values are ignored, never stringified into a file name.
        self.assertEqual(self.which(a="Acc", i="Inst", s="Setup", u=123), "ais")
        resp = self.post_json("/o", {"u": "../secret", "a": "..", "i": "..", "s": "secret"})
        self.assertNotEqual(resp.body, self.SECRET)

    def test_invalid_json_body_gets_default(self):
        for body in (b"{not json", b"", b"[1,2,3]", b"\xff\xfe", b'"text"'):
            resp = self.post_json("/o", body)
            self.assertEqual(resp.status, 200, body)
            self.assertEqual(resp.json()["which"], "default")

    def test_no_document_is_404(self):
        path = os.path.join(self.configs, "default.json")
        os.rename(path, path + ".away")
        try:
            resp = self.post_json("/o", wizard_config_request(a="x", u="nothing"))
            self.assertEqual(resp.status, 404)
        finally:
            os.rename(path + ".away", path)

    def test_get_is_refused(self):
        self.assertEqual(self.request("GET", "/o").status, 405)


# ---------------------------------------------------------------------------


def event_body(payload):
    return json.dumps({"data": json.dumps(payload, separators=(",", ":"), ensure_ascii=False),
                       "table": "zb_analytics"}, separators=(",", ":"),
                      ensure_ascii=False).encode("utf-8")


def signature(payload):
    return "Signature=" + hashlib.sha256(
        (payload.get("1", "") + payload.get("2", "")).encode("utf-8")).hexdigest()


def sample_payload(event_id="101", one="3f1c-77aa", two="caf\u00e9-\u2713"):
    p = {str(k): "" for k in list(range(23)) + [31, 38]}
    p.update({"1": one, "2": two, "6": event_id, "3": "Tavrel", "31": "en"})
    return p


class TestEvents(ServiceTestCase):

    def send(self, payload, auth):
        return self.post_json("/zbd", event_body(payload), {"Authorization": auth})

    def test_correct_signature_is_recorded(self):
        payload = sample_payload()
        resp = self.send(payload, signature(payload))
        self.assertEqual(resp.status, 200)
        self.assertEqual(resp.json(), {"ok": True})
        [ev] = self.control_get("events")
        self.assertTrue(ev["signature_ok"])
        self.assertEqual(ev["event_id"], "101")
        self.assertEqual(ev["data"], payload)
        self.assertEqual(ev["table"], "zb_analytics")
        self.assertEqual(ev["headers"]["Authorization"], signature(payload))
        self.assertEqual(ev["body"].encode("utf-8"), event_body(payload))
        self.assertIsNone(ev["error"])

    def test_wrong_signatures_are_flagged(self):
        payload = sample_payload(event_id="7")
        swapped = "Signature=" + hashlib.sha256(
            (payload["2"] + payload["1"]).encode()).hexdigest()
        with_separator = "Signature=" + hashlib.sha256(
            (payload["1"] + "|" + payload["2"]).encode()).hexdigest()
        for auth in (swapped, with_separator, signature(payload).upper(),
                     signature(payload).replace("Signature=", "Signature= "), ""):
            self.assertEqual(self.send(payload, auth).status, 200)
        events = self.control_get("events")
        self.assertEqual(len(events), 5)
        self.assertEqual([e["signature_ok"] for e in events], [False] * 5)
        self.assertEqual([e["event_id"] for e in events], ["7"] * 5)

    def test_empty_parts_sign_the_empty_string(self):
        payload = sample_payload(one="", two="")
        self.assertEqual(signature(payload), "Signature=" + hashlib.sha256(b"").hexdigest())
        self.send(payload, signature(payload))
        self.assertTrue(self.control_get("events")[0]["signature_ok"])

    def test_undecodable_bodies_are_400_and_recorded(self):
        bad = [b"not json", b'{"table":"zb_analytics"}', b'{"data":"{broken","table":"x"}',
               b'{"data":"[1]","table":"zb_analytics"}', b"\xff"]
        for body in bad:
            resp = self.post_json("/zbd", body, {"Authorization": "Signature=00"})
            self.assertEqual(resp.status, 400, body)
        events = self.control_get("events")
        self.assertEqual(len(events), len(bad))
        for ev, body in zip(events, bad):
            self.assertIsNone(ev["data"])
            self.assertTrue(ev["error"])
            self.assertFalse(ev["signature_ok"])
            self.assertEqual(base64.b64decode(ev["body_b64"]), body)

    def test_events_keep_arrival_order(self):
        for n in range(5):
            payload = sample_payload(event_id=str(100 + n))
            self.send(payload, signature(payload))
        self.assertEqual([e["event_id"] for e in self.control_get("events")],
                         ["100", "101", "102", "103", "104"])


# ---------------------------------------------------------------------------


class TestContent(ServiceTestCase):
    BIG = pattern(300000)

    @classmethod
    def populate(cls, configs, content):
        with open(os.path.join(content, "a.bin"), "wb") as f:
            f.write(cls.BIG)
        os.makedirs(os.path.join(content, "sub", "dir"))
        with open(os.path.join(content, "sub", "dir", "b.txt"), "wb") as f:
            f.write(b"nested\n")
        with open(os.path.join(os.path.dirname(content), "outside.txt"), "wb") as f:
            f.write(b"SECRET-OUTSIDE")

    def test_get_with_length(self):
        resp = self.request("GET", "/f/a.bin")
        self.assertEqual(resp.status, 200)
        self.assertEqual(resp.body, self.BIG)
        self.assertEqual(resp.header("Content-Length"), str(len(self.BIG)))
        self.assertEqual(resp.header("Content-Type"), "application/octet-stream")
        self.assertEqual(self.request("GET", "/f/sub/dir/b.txt?x=1").body, b"nested\n")

    def test_head_then_keep_alive(self):
        conn = self.connect()
        try:
            head = self.request("HEAD", "/f/a.bin", conn=conn)
            self.assertEqual(head.status, 200)
            self.assertEqual(head.header("Content-Length"), str(len(self.BIG)))
            self.assertEqual(head.body, b"")
            again = self.request("GET", "/f/sub/dir/b.txt", conn=conn)
            self.assertEqual(again.body, b"nested\n")
        finally:
            conn.close()
        self.assertEqual(len({r["client_port"] for r in self.control_get("requests")}), 1)

    def test_missing_is_404(self):
        for path in ("/f/nope.bin", "/f/sub", "/f/sub/dir/", "/f/", "/nothing"):
            self.assertEqual(self.request("GET", path).status, 404, path)

    def test_traversal_is_refused(self):
        for path in ("/f/../outside.txt", "/f/%2e%2e/outside.txt", "/f/..%2foutside.txt",
                     "/f/sub/..%2f..%2f..%2foutside.txt", "/f/sub/../../outside.txt",
                     "/f/sub\\..\\..\\outside.txt", "/f/..%5coutside.txt",
                     "/f//etc/passwd", "/f/%2fetc/passwd", "/f/sub/../a.bin",
                     "/f/./a.bin"):
            resp = self.request("GET", path)
            self.assertNotEqual(resp.status, 200, path)
            self.assertNotIn(b"SECRET-OUTSIDE", resp.body, path)
            self.assertNotIn(b"root:", resp.body, path)


# ---------------------------------------------------------------------------


class TestFaults(ServiceTestCase):
    A = pattern(5000)
    DEFAULT = b'{"which":"default"}'

    @classmethod
    def populate(cls, configs, content):
        with open(os.path.join(configs, "default.json"), "wb") as f:
            f.write(cls.DEFAULT)
        with open(os.path.join(content, "a.bin"), "wb") as f:
            f.write(cls.A)

    def test_status_sequence_then_normal(self):
        self.scenario("/o", [{"status": 500}, {"status": 500}, {"status": 200}])
        got = [self.post_json("/o", wizard_config_request()) for _ in range(4)]
        self.assertEqual([r.status for r in got], [500, 500, 200, 200])
        self.assertEqual(got[0].body, b"")
        self.assertEqual(got[2].body, self.DEFAULT)
        self.assertEqual(got[3].body, self.DEFAULT)
        self.assertEqual(self.control_get("scenarios"), {})

    def test_step_applies_to_exact_path_and_any_method(self):
        self.scenario("/anything", [{"status": 418, "body": "teapot"}])
        self.assertEqual(self.request("GET", "/anything/else").status, 404)
        self.assertEqual(self.request("GET", "/anything?q=1").status, 418)
        self.scenario("/anything", [{"status": 201, "body": "made"}])
        resp = self.request("PUT", "/anything", b"x")
        self.assertEqual((resp.status, resp.body), (201, b"made"))

    def follow(self, path, limit=20):
        hops = []
        for _ in range(limit):
            resp = self.request("GET", path)
            if resp.status != 302:
                return hops, path, resp
            location = resp.header("Location")
            hops.append(location)
            self.assertEqual(resp.body, b"")
            prefix = "https://localhost:%d" % self.port
            path = location[len(prefix):] if location.startswith(prefix) else location
        self.fail("redirect chain did not end")

    def test_redirect_chain_absolute(self):
        for n in (1, 5, 6):
            hops, final, resp = self.follow("/redirect/%d/abs/f/a.bin?k=v" % n)
            self.assertEqual(len(hops), n)
            for h in hops:
                self.assertTrue(h.startswith("https://localhost:%d/" % self.port), h)
            self.assertEqual(final, "/f/a.bin?k=v")
            self.assertEqual((resp.status, resp.body), (200, self.A))

    def test_redirect_chain_relative(self):
        for n in (1, 5, 6):
            hops, final, resp = self.follow("/redirect/%d/rel/f/a.bin" % n)
            self.assertEqual(len(hops), n)
            for h in hops:
                self.assertTrue(h.startswith("/"), h)
            self.assertEqual(final, "/f/a.bin")
            self.assertEqual(resp.body, self.A)

    def test_step_location_anywhere(self):
        long_url = "https://localhost/f/" + "x" * 6000
        self.scenario("/f/a.bin", [
            {"status": 302, "headers": {"Location": "http://localhost:1/plain"}},
            {"status": 301, "headers": {"Location": long_url}}])
        self.assertEqual(self.request("GET", "/f/a.bin").header("Location"),
                         "http://localhost:1/plain")
        self.assertEqual(self.request("GET", "/f/a.bin").header("Location"), long_url)

    def test_302_without_location_has_empty_body(self):
        self.scenario("/f/a.bin", [{"status": 302}])
        conn = self.connect()
        try:
            resp = self.request("GET", "/f/a.bin", conn=conn)
            self.assertEqual(resp.status, 302)
            self.assertIsNone(resp.header("Location"))
            self.assertEqual(resp.header("Content-Length"), "0")
            self.assertEqual(resp.body, b"")
            self.assertEqual(self.request("GET", "/f/a.bin", conn=conn).body, self.A)
        finally:
            conn.close()

    def test_chunked(self):
        self.scenario("/f/a.bin", [{"chunked": True}, {"chunked": True, "body_size": 70000}])
        for expected in (self.A, pattern(70000)):
            resp = self.request("GET", "/f/a.bin")
            self.assertEqual(resp.status, 200)
            self.assertEqual(resp.header("Transfer-Encoding"), "chunked")
            self.assertIsNone(resp.header("Content-Length"))
            self.assertEqual(resp.body, expected)

    def test_announced_1000_sent_600_then_closed(self):
        self.scenario("/f/a.bin", [{"content_length": 1000, "body_size": 600}])
        conn = self.connect()
        try:
            conn.request("GET", "/f/a.bin")
            resp = conn.getresponse()
            self.assertEqual(resp.getheader("Content-Length"), "1000")
            with self.assertRaises(http.client.IncompleteRead) as cm:
                resp.read()
            self.assertEqual(cm.exception.partial, pattern(600))
        finally:
            conn.close()

    def test_close_after_headers(self):
        self.scenario("/f/a.bin", [{"close_after_headers": True}])
        conn = self.connect()
        try:
            conn.request("GET", "/f/a.bin")
            resp = conn.getresponse()
            self.assertEqual(resp.getheader("Content-Length"), str(len(self.A)))
            with self.assertRaises(http.client.IncompleteRead) as cm:
                resp.read()
            self.assertEqual(cm.exception.partial, b"")
        finally:
            conn.close()

    def test_no_length_reads_to_close(self):
        self.scenario("/f/a.bin", [{"no_length": True, "body": "until-close"}])
        resp = self.request("GET", "/f/a.bin")
        self.assertEqual(resp.body, b"until-close")
        self.assertIsNone(resp.header("Content-Length"))
        self.assertIsNone(resp.header("Transfer-Encoding"))
        self.assertEqual(resp.header("Connection"), "close")

    def test_reset(self):
        self.scenario("/o", [{"reset": True}, {"reset": True}])
        with self.assertRaises((ConnectionError, ssl.SSLError)):
            self.post_json("/o", wizard_config_request())
        # Python's TLS layer reports a reset as EOF, so look beneath it: the kernel must
        # report ECONNRESET, not an orderly FIN.
        with socket.create_connection(("127.0.0.1", self.port), timeout=5) as raw:
            with client_context().wrap_socket(raw, server_hostname="localhost") as s:
                s.sendall(b"POST /o HTTP/1.1\r\nHost: localhost\r\nContent-Length: 2\r\n\r\n{}")
                with socket.socket(fileno=os.dup(s.fileno())) as under:
                    under.settimeout(5)
                    outcome = "nothing"
                    for _ in range(20):
                        try:
                            if not under.recv(65536):  # TLS 1.3 tickets may come first
                                outcome = "orderly close"
                                break
                        except ConnectionResetError:
                            outcome = "reset"
                            break
        self.assertEqual(outcome, "reset")
        self.assertEqual(len(self.control_get("requests?path=/o")), 2)
        self.assertEqual(self.post_json("/o", wizard_config_request()).status, 200)

    def test_slow_rate(self):
        self.scenario("/f/a.bin", [{"rate": 4000, "body_size": 2000}])
        start = time.monotonic()
        resp = self.request("GET", "/f/a.bin")
        elapsed = time.monotonic() - start
        self.assertEqual(resp.body, pattern(2000))
        self.assertGreater(elapsed, 0.35)
        self.assertLess(elapsed, 3.0)

    def test_stall_after_sends_part_of_the_body_then_nothing(self):
        self.scenario("/f/a.bin", [{"body_size": 100000, "stall_after": 1000}])
        conn = self.connect(timeout=1.5)
        try:
            conn.request("GET", "/f/a.bin")
            resp = conn.getresponse()
            self.assertEqual(resp.getheader("Content-Length"), "100000")
            self.assertEqual(resp.read(1000), pattern(1000))
            with self.assertRaises(socket.timeout):
                resp.read(1)
        finally:
            conn.close()
        self.assertEqual(self.request("GET", "/f/a.bin").body, self.A)

    def test_ranges_resume_only_the_same_version(self):
        tagged = {"body_size": 5000, "ranges": True, "headers": {"ETag": '"v1"'}}
        cases = [  # request headers, then the status, Content-Range and first byte expected
            ({"Range": "bytes=1000-", "If-Range": '"v1"'}, 206, "bytes 1000-4999/5000", 1000),
            ({"Range": "bytes=1000-"}, 206, "bytes 1000-4999/5000", 1000),
            ({"Range": "bytes=1000-", "If-Range": '"v0"'}, 200, None, 0),
            ({"Range": "bytes=5000-"}, 416, "bytes */5000", None),
        ]
        for headers, status, content_range, first in cases:
            self.scenario("/f/r.bin", [tagged])
            resp = self.request("GET", "/f/r.bin", headers=headers)
            self.assertEqual((resp.status, resp.header("Content-Range")), (status, content_range), headers)
            if first is not None:
                self.assertEqual(resp.body, pattern(5000)[first:], headers)
        # Without the member a range is ignored, as by a server that cannot serve one.
        self.scenario("/f/r.bin", [{"body_size": 5000}])
        self.assertEqual(self.request("GET", "/f/r.bin", headers={"Range": "bytes=1000-"}).status, 200)

    def test_drop_after_resets_mid_body_and_counts_what_was_sent(self):
        self.scenario("/f/a.bin", [{"body_size": 100000, "drop_after": 1000}])
        conn = self.connect()
        try:
            conn.request("GET", "/f/a.bin")
            resp = conn.getresponse()
            self.assertEqual(resp.getheader("Content-Length"), "100000")
            with self.assertRaises((http.client.IncompleteRead, ConnectionError, ssl.SSLError)):
                resp.read()
        finally:
            conn.close()
        [record] = self.control_get("requests?path=/f/a.bin")
        self.assertEqual((record["status"], record["sent"]), ("200", 1000))

    def test_delay(self):
        self.scenario("/o", [{"delay_ms": 300, "status": 503}])
        start = time.monotonic()
        self.assertEqual(self.post_json("/o", {}).status, 503)
        self.assertGreater(time.monotonic() - start, 0.25)

    def test_body_sources_and_headers(self):
        self.scenario("/o", [
            {"body": "{\"x\":\"\u00e9\"}"},
            {"body_b64": base64.b64encode(b"\x00\x01\xff").decode()},
            {"body_file": "a.bin", "headers": {"Content-Type": "text/plain", "X-Extra": "1"}},
            {"status": 200, "headers": {"X-Kept": "yes"}}])
        self.assertEqual(self.post_json("/o", {}).body, "{\"x\":\"\u00e9\"}".encode())
        self.assertEqual(self.post_json("/o", {}).body, b"\x00\x01\xff")
        resp = self.post_json("/o", {})
        self.assertEqual(resp.body, self.A)
        self.assertEqual(resp.header("Content-Type"), "text/plain")
        self.assertEqual(resp.header("X-Extra"), "1")
        resp = self.post_json("/o", {})
        self.assertEqual((resp.body, resp.header("X-Kept")), (self.DEFAULT, "yes"))

    def test_event_route_runs_only_when_its_answer_is_kept(self):
        payload = sample_payload(event_id="55")
        self.scenario("/zbd", [{"status": 500}, {"status": 202}])
        body = event_body(payload)
        auth = {"Authorization": signature(payload)}
        self.assertEqual(self.post_json("/zbd", body, auth).status, 500)
        self.assertEqual(self.control_get("events"), [])
        resp = self.post_json("/zbd", body, auth)
        self.assertEqual((resp.status, resp.json()), (202, {"ok": True}))
        self.assertEqual([e["event_id"] for e in self.control_get("events")], ["55"])
        self.assertEqual(len(self.control_get("requests?path=/zbd")), 2)

    def test_bad_scenarios_are_refused(self):
        for doc in ({"path": "/o", "steps": [{"stauts": 500}]},
                    {"path": "/o", "steps": [{"body": "a", "body_size": 3}]},
                    {"path": "/o", "steps": [{"status": "500"}]},
                    {"path": "/o", "steps": [{"chunked": True, "no_length": True}]},
                    {"path": "o", "steps": []},
                    {"path": "/o"}):
            self.assertEqual(self.control_post("scenario", doc).status, 400, doc)
        resp = self.request("POST", "/_control/scenario", b"{nope")
        self.assertEqual(resp.status, 400)
        self.assertEqual(self.control_get("scenarios"), {})

    def test_empty_steps_clear(self):
        self.scenario("/o", [{"status": 500}])
        self.scenario("/o", [])
        self.assertEqual(self.post_json("/o", {}).status, 200)


# ---------------------------------------------------------------------------


class TestCutter(ServiceTestCase):
    cutter = True

    def test_cuts_the_next_connections_and_counts_the_bytes(self):
        self.assertEqual(self.control_post("cutter", {"cut_after": [3000]}).status, 200)
        self.scenario("/f/c.bin", [{"body_size": 200000}, {"body_size": 200000}])
        with self.assertRaises((http.client.IncompleteRead, ConnectionError, ssl.SSLError)):
            self.request("GET", "/f/c.bin", conn=self.connect(port=self.cutter_port))
        self.assertEqual(len(self.request("GET", "/f/c.bin", conn=self.connect(port=self.cutter_port)).body),
                         200000)
        cut, whole = self.control_get("cutter")["connections"]
        self.assertEqual(cut, 3000)
        self.assertGreater(whole, 200000)
        self.assertEqual(self.control_post("cutter", {"cut_after": [-1]}).status, 400)


class TestNoInterimContinue(ServiceTestCase):

    @classmethod
    def populate(cls, configs, content):
        with open(os.path.join(configs, "default.json"), "wb") as f:
            f.write(b'{"ok":1}')

    def raw_exchange(self, path, body, extra=""):
        ctx = client_context()
        with socket.create_connection(("127.0.0.1", self.port), timeout=5) as raw:
            with ctx.wrap_socket(raw, server_hostname="localhost") as s:
                s.sendall(("POST %s HTTP/1.1\r\nHost: localhost\r\nExpect: 100-continue\r\n"
                           "Content-Type: application/json\r\n%sContent-Length: %d\r\n\r\n"
                           % (path, extra, len(body))).encode())
                # A client that waits for 100 Continue would see it in this window.
                s.settimeout(0.4)
                try:
                    early = s.recv(4096)
                except socket.timeout:
                    early = b""
                s.settimeout(5)
                s.sendall(body)
                data = early
                while b"\r\n\r\n" not in data:
                    chunk = s.recv(4096)
                    if not chunk:
                        break
                    data += chunk
                return early, data

    def test_config_request(self):
        early, data = self.raw_exchange("/o", b'{"a":"x"}')
        self.assertEqual(early, b"")
        self.assertTrue(data.startswith(b"HTTP/1.1 200 "), data[:80])
        self.assertNotIn(b"100 Continue", data)
        self.assertNotIn(b"Connection: close", data)

    def test_event(self):
        payload = sample_payload()
        early, data = self.raw_exchange("/zbd", event_body(payload),
                                        "Authorization: %s\r\n" % signature(payload))
        self.assertEqual(early, b"")
        self.assertTrue(data.startswith(b"HTTP/1.1 200 "), data[:80])
        self.assertTrue(self.control_get("events")[0]["signature_ok"])


# ---------------------------------------------------------------------------


class TestControl(ServiceTestCase):

    def test_health(self):
        self.assertEqual(self.control_get("health"), {"ok": True})

    def test_requests_are_recorded_in_order(self):
        self.request("POST", "/a?x=1&y=2", b"\x00\xffbinary", {"X-Brindle-Probe": "One"})
        self.request("PUT", "/b", "text \u00e9".encode("utf-8"), {"x-lower-case": "two"})
        self.request("DELETE", "/a")
        reqs = self.control_get("requests")
        self.assertEqual([(r["method"], r["path"]) for r in reqs],
                         [("POST", "/a"), ("PUT", "/b"), ("DELETE", "/a")])
        first, second = reqs[0], reqs[1]
        self.assertEqual(first["query"], "x=1&y=2")
        self.assertEqual(first["headers"]["X-Brindle-Probe"], "One")
        self.assertIsNone(first["body"])
        self.assertEqual(base64.b64decode(first["body_b64"]), b"\x00\xffbinary")
        self.assertEqual(second["headers"]["x-lower-case"], "two")
        self.assertEqual(second["body"], "text \u00e9")
        self.assertLessEqual(first["time"], second["time"])
        self.assertLess(first["id"], second["id"])
        self.assertEqual([r["method"] for r in self.control_get("requests?path=/a")],
                         ["POST", "DELETE"])
        self.assertFalse(any(r["path"].startswith("/_control/") for r in reqs))

    def test_request_body_framing(self):
        conn = self.connect()
        try:
            conn.request("POST", "/chunky", body=iter([b"ab", b"", b"cd"]), encode_chunked=True)
            self.assertEqual(conn.getresponse().read(), b"not found\n")
            conn.putrequest("POST", "/badlength")
            conn.putheader("Content-Length", "abc")
            conn.endheaders()
            self.assertEqual(conn.getresponse().status, 400)
        finally:
            conn.close()
        reqs = self.control_get("requests")
        self.assertEqual([(r["path"], r["body"]) for r in reqs],
                         [("/chunky", "abcd"), ("/badlength", "")])

    def test_reset_clears_everything(self):
        self.scenario("/o", [{"status": 500}])
        payload = sample_payload()
        self.post_json("/zbd", event_body(payload), {"Authorization": signature(payload)})
        self.request("GET", "/x")
        self.assertTrue(self.control_get("requests"))
        self.assertTrue(self.control_get("events"))
        self.assertEqual(self.control_post("reset", {}).json(), {"ok": True})
        self.assertEqual(self.control_get("requests"), [])
        self.assertEqual(self.control_get("events"), [])
        self.assertEqual(self.control_get("scenarios"), {})

    def test_unknown_control_route(self):
        self.assertEqual(self.request("GET", "/_control/nothing").status, 404)
        self.assertEqual(self.request("GET", "/_control/reset").status, 404)
        self.assertEqual(self.request("GET", "/_control/blackhole").status, 404)  # none here


# ---------------------------------------------------------------------------


class TestListeners(ServiceTestCase):
    untrusted = True
    plain = True

    @classmethod
    def populate(cls, configs, content):
        with open(os.path.join(content, "x.bin"), "wb") as f:
            f.write(b"same routes")

    def test_ready_file_lists_listeners(self):
        self.assertEqual(self.ready["port"], self.port)
        self.assertEqual(self.ready["untrusted_port"], self.untrusted_port)
        hosts = {(l["host"], l["tls"]) for l in self.ready["listeners"]}
        self.assertIn(("127.0.0.1", "trusted"), hosts)
        self.assertIn(("127.0.0.1", "untrusted"), hosts)

    def test_untrusted_certificate_does_not_verify(self):
        conn = self.connect(self.untrusted_port)
        with self.assertRaises(ssl.SSLCertVerificationError):
            self.request("GET", "/f/x.bin", conn=conn)
        conn.close()
        conn = self.connect(self.port, ca_file("untrusted-ca.pem"))
        with self.assertRaises(ssl.SSLCertVerificationError):
            self.request("GET", "/f/x.bin", conn=conn)
        conn.close()

    def test_untrusted_listener_serves_the_same_routes(self):
        conn = self.connect(self.untrusted_port, ca_file("untrusted-ca.pem"))
        try:
            resp = self.request("GET", "/f/x.bin", conn=conn)
        finally:
            conn.close()
        self.assertEqual((resp.status, resp.body), (200, b"same routes"))
        [rec] = self.control_get("requests")
        self.assertEqual(rec["listener"], "untrusted")

    def test_plain_listener_is_recorded_under_its_own_label(self):
        self.assertEqual(self.ready["plain_port"], self.plain_port)
        conn = http.client.HTTPConnection("127.0.0.1", self.plain_port, timeout=10)
        try:
            resp = self.request("GET", "/f/x.bin", conn=conn)
        finally:
            conn.close()
        self.assertEqual((resp.status, resp.body), (200, b"same routes"))
        [rec] = self.control_get("requests")
        self.assertEqual(rec["listener"], "plain")

    def test_ipv6_loopback(self):
        if not any(l["host"] == "::1" for l in self.ready["listeners"]):
            self.skipTest("no IPv6 loopback here")
        with socket.create_connection(("::1", self.port), timeout=5) as raw:
            with client_context().wrap_socket(raw, server_hostname="localhost") as s:
                s.sendall(b"GET /f/x.bin HTTP/1.1\r\nHost: localhost\r\n"
                          b"Connection: close\r\n\r\n")
                data = b""
                while True:
                    chunk = s.recv(4096)
                    if not chunk:
                        break
                    data += chunk
        self.assertTrue(data.startswith(b"HTTP/1.1 200 "))
        self.assertTrue(data.endswith(b"same routes"))



class TestReport(ServiceTestCase):

    def event(self, event_id, kind, offer="", **extra):
        payload = sample_payload(event_id=event_id, two="20240101120000")
        payload.update({"4": "Tavrel_DLM", "31": "10.0.18362", "10": kind, "5": offer}, **extra)
        self.assertEqual(self.post_json("/zbd", event_body(payload),
                                        {"Authorization": signature(payload)}).status, 200)

    def test_counts_the_recorded_run_under_its_campaign(self):
        self.post_json("/o", wizard_config_request(u="ab12-cd"))
        self.event("1", 1)
        self.event("-1", 2, "photo", **{"12": "DOWNLOAD FAILED: 404"})
        resp = self.request("GET", "/report.json")
        self.assertEqual(resp.status, 200)
        [campaign] = resp.json()["campaigns"]
        self.assertEqual((campaign["campaign"], campaign["runs"]), ("ab12-cd", 1))
        self.assertEqual(campaign["failures"], [{"offer": "photo", "text": "DOWNLOAD FAILED: 404",
                                                 "count": 1}])

    def test_page_is_locked_down_and_leaves_no_record(self):
        resp = self.request("GET", "/report?campaign=x&from=2024-01-01")
        self.assertEqual(resp.status, 200)
        self.assertEqual(resp.header("Content-Type"), "text/html; charset=utf-8")
        policy = resp.header("Content-Security-Policy")
        self.assertIn("default-src 'none'", policy)
        self.assertNotIn("unsafe", policy)
        self.assertEqual(resp.header("X-Content-Type-Options"), "nosniff")
        self.assertEqual(self.control_get("requests"), [])

    def test_unusable_requests(self):
        self.assertEqual(self.request("GET", "/report?from=soon").status, 400)
        self.assertEqual(self.request("GET", "/report.json?to=2024-02-30").json()["ok"], False)
        self.assertEqual(self.request("GET", "/report?" + "&".join(["x=1"] * 30)).status, 400)
        self.assertEqual(self.request("POST", "/report", b"").status, 405)


class TestBlackHole(ServiceTestCase):
    blackhole = True

    def test_accepts_and_never_answers(self):
        self.assertEqual(self.ready["blackhole"], "127.0.0.1:%d" % self.blackhole_port)
        with socket.create_connection(("127.0.0.1", self.blackhole_port), timeout=5) as s:
            s.sendall(b"POST /o HTTP/1.1\r\nHost: localhost\r\nContent-Length: 2\r\n\r\n{}")
            s.settimeout(1.0)
            with self.assertRaises(socket.timeout):
                s.recv(1)
        self.assertEqual(self.control_get("blackhole"), {"accepted": 1})
        self.assertEqual(self.control_post("reset", {}).status, 200)
        self.assertEqual(self.control_get("blackhole"), {"accepted": 0})


class TestLifecycle(ServiceTestCase):

    def test_sigterm_stops_cleanly(self):
        self.request("GET", "/recorded-before-stop")
        self.assertEqual(self.stop_service(), 0)
        self.assertFalse(os.path.exists(self.ready_file))
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.1", self.port), timeout=2).close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
