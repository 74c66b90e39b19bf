#!/usr/bin/env python3
"""Test harness of one build tree: a virtual display, throwaway Wine prefixes, a persistent
wineserver per prefix and the reference service, started once per test run.

    harness.py start --build DIR     (CTest fixture set-up; also used by the demo)
    harness.py stop --build DIR      (CTest fixture clean-up)

Everything lives under DIR/harness. Only processes recorded there are ever stopped.
"""
import argparse
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
# Slow machines (or Wine under an emulator) may stretch every time limit of the harness.
TIMEOUT_SCALE = float(os.environ.get("BRINDLE_TIMEOUT_SCALE", "1"))
# Accepts connections on the HTTPS port and never answers: the peer of the time-out tests.
BLACKHOLE_ADDRESS = "127.0.0.3"
# The harness's own nginx (tests/unit/download/nginx_interop_test.cpp uses the same numbers).
NGINX_TLS_PORT = 8543
NGINX_PLAIN_PORT = 8580
NGINX_BIG_BYTES = 64 * 1024 * 1024
# The reference service's cutting relay in front of nginx (nginx cannot be told to fail).
CUTTER_PORT = 8545
# Debian's tinyproxy on loopback: an open one and one that asks for credentials (407).
PROXY_PORT = 8888
AUTH_PROXY_PORT = 8889


def log(message):
    print(f"harness: {message}", file=sys.stderr, flush=True)


class Harness:
    def __init__(self, build):
        self.build = Path(build).resolve()
        self.dir = self.build / "harness"
        self.config = json.loads((self.dir / "config.json").read_text())
        self.state_file = self.dir / "state.json"

    # --- state -----------------------------------------------------------------------------
    def load_state(self):
        try:
            return json.loads(self.state_file.read_text())
        except (OSError, ValueError):
            return {}

    def save_state(self, state):
        self.state_file.write_text(json.dumps(state, indent=1))

    # --- environment -----------------------------------------------------------------------
    def wine_env(self, arch):
        env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "LC_"))}
        env.update(
            WINEPREFIX=str(self.dir / f"prefix-{arch}"),
            WINEARCH=arch,
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml=",
            HOME=str(self.dir / "home"),
            LANG="C.UTF-8",
        )
        if self.config["wine_loader_env"]:
            env["WINELOADER"] = self.config["wine_loader"]
        state = self.load_state()
        if "display" in state:
            env["DISPLAY"] = state["display"]
        return env

    def wine(self, arch, *args, check=True, timeout=180, log_name=None):
        env = self.wine_env(arch)
        out = open(self.dir / "logs" / (log_name or "wine.log"), "ab")
        result = subprocess.run([self.config["wine_loader"], *args], env=env, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=out, timeout=timeout * TIMEOUT_SCALE)
        out.close()
        if check and result.returncode != 0:
            raise RuntimeError(f"wine {' '.join(args)} failed with {result.returncode} ({arch})")
        return result.returncode

    def wineserver(self, arch, *args, timeout=60):
        subprocess.run([self.config["wineserver"], *args], env=self.wine_env(arch),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=timeout * TIMEOUT_SCALE, check=False)

    # --- pieces ----------------------------------------------------------------------------
    def start_display(self, state):
        for number in range(90, 200):
            if Path(f"/tmp/.X11-unix/X{number}").exists() or Path(f"/tmp/.X{number}-lock").exists():
                continue
            log_file = open(self.dir / "logs" / "xvfb.log", "ab")
            proc = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                    stdin=subprocess.DEVNULL, stdout=log_file, stderr=log_file,
                                    start_new_session=True)
            for _ in range(100):
                if Path(f"/tmp/.X11-unix/X{number}").exists():
                    state["display"] = f":{number}"
                    state["xvfb_pid"] = proc.pid
                    return
                if proc.poll() is not None:
                    break
                time.sleep(0.05)
            if proc.poll() is None:
                proc.kill()
        raise RuntimeError("no free X display for Xvfb")

    def make_prefix(self, arch):
        prefix = self.dir / f"prefix-{arch}"
        shutil.rmtree(prefix, ignore_errors=True)
        started = time.monotonic()
        self.wine(arch, "wineboot", "-i", log_name=f"wineboot-{arch}.log", check=False)
        self.wineserver(arch, "-w")
        if not (prefix / "system.reg").exists():
            raise RuntimeError(f"creating the {arch} prefix failed; see {self.dir}/logs/wineboot-{arch}.log")
        install_wine_fonts(prefix)
        reg = [
            ("HKCU\\Software\\Wine", "Version", "win10"),
            # The pages ask for a face Wine does not ship; left to fontconfig it becomes a face
            # whose first character is "!", which Wine then reports as the break character:
            # SysLink stops parsing "<a href" and wraps mid-word. Windows has the face.
            ("HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
             "Microsoft Sans Serif", "Tahoma"),
            ("HKCU\\Software\\Wine\\Explorer", "Desktop", "Default"),
            ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", "1024x768"),
        ]
        for key, name, value in reg:
            self.wine(arch, "reg", "add", key, "/v", name, "/d", value, "/f", log_name=f"setup-{arch}.log")
        # A crashing test program must just end, not start a debugger that outlives the test
        # (and holds its output pipe). Without the value Wine would start winedbg; a debugger
        # that cannot be started lets the crash end the process.
        aedebug = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"
        for view in ("/reg:64", "/reg:32"):
            self.wine(arch, "reg", "add", aedebug, "/v", "Debugger", "/d", "no-crash-debugger.exe", "/f", view,
                      check=False, log_name=f"setup-{arch}.log")
        ca = self.dir / "ca" / "ca.der"
        self.wine(arch, self.config["trust_ca_tool"], windows_path(ca), log_name=f"setup-{arch}.log")
        # Restart so the virtual desktop and version apply to every later process.
        self.wineserver(arch, "-k")
        self.wineserver(arch, "-w")
        self.wineserver(arch, "-p")
        self.wine(arch, self.config["uidriver_tool"], "desktop", log_name=f"setup-{arch}.log")
        log(f"{arch} prefix ready in {time.monotonic() - started:.1f} s")

    def start_service(self, state):
        ca = self.dir / "ca"
        service_dir = self.dir / "service"
        (service_dir / "content").mkdir(parents=True, exist_ok=True)
        (service_dir / "configs").mkdir(parents=True, exist_ok=True)
        for sub in ("configs", "content"):
            src = SOURCE / "tests" / "data" / sub
            if src.is_dir():
                shutil.copytree(src, service_dir / sub, dirs_exist_ok=True)
        # The sample pictures, and the test installers and archives this build tree made, so
        # whole wizard runs can download and start them.
        shutil.copytree(SOURCE / "service" / "sample" / "content", service_dir / "content", dirs_exist_ok=True)
        installers = self.build / "tests" / "install_data"
        if installers.is_dir():
            shutil.copytree(installers, service_dir / "content" / "install", dirs_exist_ok=True)
        ready = service_dir / "ready.json"
        ready.unlink(missing_ok=True)
        db = service_dir / "service.db"
        db.unlink(missing_ok=True)
        log_file = open(self.dir / "logs" / "service.log", "ab")
        proc = subprocess.Popen(
            [sys.executable, str(SOURCE / "service" / "brindle_service.py"),
             "--configs", str(service_dir / "configs"), "--content", str(service_dir / "content"),
             "--db", str(db), "--cert", str(ca / "server.pem"), "--key", str(ca / "server.key"),
             "--port", "443", "--untrusted-port", "8444",
             "--untrusted-cert", str(ca / "untrusted-server.pem"),
             "--untrusted-key", str(ca / "untrusted-server.key"),
             "--plain-port", "8480",
             "--blackhole", f"{BLACKHOLE_ADDRESS}:443",
             "--cutter", f"{CUTTER_PORT}:{NGINX_TLS_PORT}",
             "--ready-file", str(ready)],
            stdin=subprocess.DEVNULL, stdout=log_file, stderr=log_file, start_new_session=True)
        state["service_pid"] = proc.pid
        for _ in range(int(200 * TIMEOUT_SCALE)):
            if ready.exists():
                return
            if proc.poll() is not None:
                raise RuntimeError(f"the reference service ended early; see {self.dir}/logs/service.log")
            time.sleep(0.05)
        raise RuntimeError("the reference service did not become ready")

    def start_nginx(self, state):
        """A web server nobody here wrote, for the interoperability tests: Debian's nginx on
        loopback with the test CA's server certificate (NGINX_TLS_PORT), plus a plain-HTTP
        port (NGINX_PLAIN_PORT) that downgraded redirects point at."""
        root = self.dir / "nginx"
        content = root / "content"
        for sub in ("content", "tmp"):
            (root / sub).mkdir(parents=True, exist_ok=True)
        write_pattern(content / "big.bin", NGINX_BIG_BYTES)
        write_pattern(content / "ok.bin", 1000)
        ca = self.dir / "ca"
        chain = "\n".join(
            f"        location = /chain/{hop} {{ return {code} /chain/{hop - 1}; }}"
            for hop, code in zip(range(6, 1, -1), (302, 301, 302, 307, 308)))
        temp = " ".join(f"{kind}_temp_path {root}/tmp/{kind};" for kind in ("client_body", "proxy", "fastcgi",
                                                                             "uwsgi", "scgi"))
        # Wine may try ::1 first for localhost, the one name the certificate matches for it.
        ipv6 = has_ipv6_loopback()
        ipv6_tls = f"        listen [::1]:{NGINX_TLS_PORT} ssl;" if ipv6 else ""
        ipv6_plain = f"        listen [::1]:{NGINX_PLAIN_PORT};" if ipv6 else ""
        (root / "nginx.conf").write_text(f"""
user root root;
worker_processes 1;
pid {root}/nginx.pid;
error_log {root}/error.log warn;
events {{ worker_connections 64; }}
http {{
    access_log {root}/access.log;
    {temp}
    default_type application/octet-stream;
    server {{
        listen 127.0.0.1:{NGINX_TLS_PORT} ssl;
{ipv6_tls}
        server_name localhost;
        ssl_certificate {ca}/server.pem;
        ssl_certificate_key {ca}/server.key;
        root {content};
        location /slow/ {{ alias {content}/; limit_rate 256k; }}
{chain}
        location = /chain/1 {{ return 301 /ok.bin; }}
        location = /down {{ return 302 http://localhost:{NGINX_PLAIN_PORT}/ok.bin; }}
        location = /rel/a/b {{ return 302 "../../ok.bin"; }}
    }}
    server {{
        listen 127.0.0.1:{NGINX_PLAIN_PORT};
{ipv6_plain}
        root {content};
    }}
}}
""")
        log_file = open(self.dir / "logs" / "nginx.log", "ab")
        proc = subprocess.Popen(["nginx", "-p", str(root), "-c", str(root / "nginx.conf"), "-g", "daemon off;"],
                                stdin=subprocess.DEVNULL, stdout=log_file, stderr=log_file, start_new_session=True)
        state["nginx_pid"] = proc.pid
        for _ in range(int(100 * TIMEOUT_SCALE)):
            if (root / "nginx.pid").exists():
                return
            if proc.poll() is not None:
                raise RuntimeError(f"nginx ended early; see {self.dir}/logs/nginx.log and {root}/error.log")
            time.sleep(0.05)
        raise RuntimeError("nginx did not start")

    def start_proxies(self, state):
        """Two tinyproxy instances on loopback for the proxy tests: PROXY_PORT forwards
        anything, AUTH_PROXY_PORT answers 407 to a request without credentials. Each logs
        every CONNECT to proxy/<port>.log."""
        root = self.dir / "proxy"
        root.mkdir(parents=True, exist_ok=True)
        state["proxy_pids"] = []
        for port, extra in ((PROXY_PORT, ""), (AUTH_PROXY_PORT, "BasicAuth brindle not-the-password\n")):
            log_path = root / f"{port}.log"
            log_path.unlink(missing_ok=True)
            (root / f"{port}.conf").write_text(
                f"Port {port}\nListen 127.0.0.1\nTimeout 60\nMaxClients 64\nAllow 127.0.0.1\n"
                f"LogFile \"{log_path}\"\nLogLevel Connect\n{extra}")
            out = open(self.dir / "logs" / f"tinyproxy-{port}.log", "ab")
            proc = subprocess.Popen(["tinyproxy", "-d", "-c", str(root / f"{port}.conf")], stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=out, start_new_session=True)
            state["proxy_pids"].append(proc.pid)
            for _ in range(int(100 * TIMEOUT_SCALE)):
                try:
                    with socket.create_connection(("127.0.0.1", port), timeout=1):
                        break
                except OSError:
                    if proc.poll() is not None:
                        raise RuntimeError(f"tinyproxy ended early; see {self.dir}/logs/tinyproxy-{port}.log")
                    time.sleep(0.05)
            else:
                raise RuntimeError("tinyproxy did not start")

    # --- commands --------------------------------------------------------------------------
    def start(self, arches=None, nginx=True):
        """Everything, or (for the demo and benches) only the prefixes named and no nginx."""
        self.stop(quiet=True)
        (self.dir / "logs").mkdir(parents=True, exist_ok=True)
        (self.dir / "home").mkdir(parents=True, exist_ok=True)
        subprocess.run([str(SOURCE / "scripts" / "make_test_ca.sh"), str(self.dir / "ca")], check=True,
                       stdout=subprocess.DEVNULL)
        state = {"arches": [a for a in self.config["prefix_arches"] if arches is None or a in arches]}
        self.save_state(state)
        self.start_display(state)
        self.save_state(state)
        self.start_service(state)
        self.save_state(state)
        if nginx:
            self.start_nginx(state)
            self.save_state(state)
            self.start_proxies(state)
            self.save_state(state)
        errors = []

        def build_prefix(arch):
            try:
                self.make_prefix(arch)
            except Exception as error:  # reported after both threads end
                errors.append(error)

        threads = [threading.Thread(target=build_prefix, args=(arch,)) for arch in state["arches"]]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        if errors:
            raise errors[0]
        self.write_env(state)
        log(f"ready: display {state['display']}, prefixes {', '.join(state['arches'])}")

    def write_env(self, state):
        lines = [f"export DISPLAY={state['display']}", f"export BRINDLE_HARNESS_DIR={self.dir}"]
        (self.dir / "env.sh").write_text("\n".join(lines) + "\n")

    def stop(self, quiet=False):
        state = self.load_state()
        for arch in state.get("arches", []):
            if (self.dir / f"prefix-{arch}").exists():
                self.wineserver(arch, "-k")
        for key in ("service_pid", "nginx_pid", "xvfb_pid"):
            pid = state.get(key)
            if pid:
                stop_process(pid)
        for pid in state.get("proxy_pids", []):
            stop_process(pid)
        if state and not quiet:
            log("stopped")
        self.state_file.unlink(missing_ok=True)
        (self.dir / "env.sh").unlink(missing_ok=True)


def install_wine_fonts(prefix):
    """Wine's own faces (Tahoma, System) in the prefix's font folder, where Wine looks on every
    start. Debian's Wine does not find them where the fonts-wine package puts them, and without
    them every face falls back to one that Windows programs never see."""
    fonts = prefix / "drive_c" / "windows" / "Fonts"
    fonts.mkdir(parents=True, exist_ok=True)
    for face in Path("/usr/share/wine/fonts").glob("*.ttf"):
        target = fonts / face.name
        if not target.exists():
            shutil.copyfile(face, target)


def stop_process(pid):
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    for _ in range(50):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return
        time.sleep(0.05)
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def has_ipv6_loopback():
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as probe:
            probe.bind(("::1", 0))
        return True
    except OSError:
        return False


def write_pattern(path, size):
    """Byte i is i % 251, like the reference service's generated bodies."""
    if path.exists() and path.stat().st_size == size:
        return
    block = bytes(range(251)) * (1024 * 1024 // 251 + 1)
    period = 251 * (len(block) // 251)
    with open(path, "wb") as f:
        written = 0
        while written < size:
            count = min(period, size - written)
            f.write(block[:count])
            written += count


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["start", "stop"])
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    harness = Harness(args.build)
    if args.command == "start":
        try:
            harness.start()
        except Exception as error:
            log(f"start failed: {error}")
            harness.stop(quiet=True)
            return 1
    else:
        harness.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
