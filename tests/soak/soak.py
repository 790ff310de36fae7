"""The soak (`python3 soak.py BUILD/tavobook`): `tavobook serve` under three
wrk runs at once (pages, list, searches and images; posts through the message
form; the same pages with owner logins) beside a few hundred slow and idle
connections, for a warm-up, then SOAK_SECONDS (default 60); the checks at the
end of main() say when it passes."""
import os
import re
import resource
import select
import shutil
import socket
import subprocess
import sys
import threading

import harness

HERE = os.path.dirname(os.path.abspath(__file__))
POST_SCRIPT = os.path.join(HERE, "..", "..", "bench", "post.lua")
MIXED_SCRIPT = os.path.join(HERE, "mixed.lua")
PAGE_CONNECTIONS, POST_CONNECTIONS = 16, 8
LOGIN_SESSIONS = 2  # browsing owners, one connection (and session) each
SLOW, IDLE, SLOW_PACE_SECONDS = 300, 50, 3
RSS_GROWTH_ALLOWED = 0.10


class SlowClients(threading.Thread):
    """Connections that send a request head one byte every few seconds and
    never end it, and connections that send nothing. One the server drops
    is counted and opened again, so the pressure stays the same."""

    HEAD = b"GET /show.asp?name=big HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port = port
        self.halt = threading.Event()
        self.dropped = {"slow": 0, "idle": 0}

    def connect(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=5)
        s.setblocking(False)
        return s

    def run(self):
        conns = [["slow", self.connect(), 0] for _ in range(SLOW)]
        conns += [["idle", self.connect(), 0] for _ in range(IDLE)]
        while not self.halt.wait(SLOW_PACE_SECONDS):
            readable = set(select.select([c[1] for c in conns], [], [], 0)[0])
            for c in conns:
                kind, sock, sent = c
                try:
                    # Readable means closed, or answered (and so refused).
                    if sock in readable or kind == "slow" and sock.send(
                            self.HEAD[sent:sent + 1] if sent < len(self.HEAD) else b"a") == 0:
                        raise ConnectionResetError
                    c[2] = sent + 1
                except OSError:
                    self.dropped[kind] += 1
                    sock.close()
                    c[1:] = [self.connect(), 0]
        for c in conns:
            c[1].close()

    def stop(self):
        self.halt.set()
        self.join()


def load(port, seconds, phase):
    """Pages, posts and logins at once under wrk; per run, what its report says."""
    runs = {"pages": (MIXED_SCRIPT, 1, PAGE_CONNECTIONS, "/"),
            "posts": (POST_SCRIPT, 1, POST_CONNECTIONS, "/add.asp?name=big"),
            "logins": (MIXED_SCRIPT, LOGIN_SESSIONS, LOGIN_SESSIONS, "/", "login")}
    procs = {f"{phase} {name}": subprocess.Popen(
        ["wrk", f"-t{threads}", f"-c{conns}", f"-d{seconds}s", "--timeout", "5s", "-s", script,
         f"http://127.0.0.1:{port}{path}", "--", *args],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        for name, (script, threads, conns, path, *args) in runs.items()}
    results = {}
    for name, proc in procs.items():
        out = proc.communicate()[0]
        number = lambda pattern: int((re.search(pattern, out) or [0, 0])[1])
        results[name] = {"requests": number(r"(\d+) requests in"), "status": proc.returncode,
                         "acknowledged": number(r"success pages (\d+)"), "problems": [
                             m[0] for m in (re.search(r"Socket errors:.*", out), re.search(
                                 r"Non-2xx or 3xx responses: \d+", out)) if m]}
    return results


def main():
    binary = sys.argv[1]
    seconds = int(os.environ.get("SOAK_SECONDS", "60"))
    warmup = int(os.environ.get("SOAK_WARMUP_SECONDS", "30"))
    if not shutil.which("wrk"):
        sys.exit("soak: wrk is missing (scripts/install-deps installs it): FAIL")
    # The server holds every slow, idle and wrk connection at once.
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))

    checks = harness.Checks("soak")
    with harness.workdir("soak") as tmp:
        db = os.path.join(tmp, "soak.db")
        harness.seed(binary, db, "--guestbooks", "3", "--messages", "200", "--book", "big")
        first = harness.count_rows(db, "select infoserial from user where name = 'big'")
        server = harness.Site(binary, db, tmp).start()
        print(f"serve on port {server.port}", flush=True)
        attack = SlowClients(server.port)
        attack.start()
        try:
            runs = load(server.port, warmup, "warm-up")
            rss_warm = server.rss_kb()
            runs |= load(server.port, seconds, "soak")
            rss_end = server.rss_kb()
        finally:
            attack.stop()
            stopped = server.stop()

        for name, r in runs.items():
            checks.expect(r["status"] == 0 and not r["problems"],
                          f"{name}: only 2xx/3xx answers, no socket error",
                          "; ".join([f"{r['requests']} requests"] + r["problems"]))
        checks.expect(stopped == 0, "serve stops cleanly on SIGTERM", f"exit status {stopped}")
        growth = rss_end / rss_warm - 1
        checks.expect(growth <= RSS_GROWTH_ALLOWED, "RSS after the soak within 10% of warm",
                      f"{rss_warm} kB after warm-up, {rss_end} kB at the end ({growth:+.1%})")
        acked = sum(r["acknowledged"] for r in runs.values())
        stored = harness.count_rows(
            db, "select count(*) from liuyan where name = 'big' and infono >= ?", first)
        # A post wrk sent as it stopped may be stored unacknowledged: at most
        # one per connection and run.
        in_flight = POST_CONNECTIONS * 2
        checks.expect(0 < acked <= stored <= acked + in_flight,
                      "every acknowledged post stored once",
                      f"{acked} acknowledged, {stored} stored")
        checks.store_consistent(db)
        errors = server.errors()
        checks.expect(not errors, "no page error logged", f"{len(errors)}: {errors[:3]}")
        requests = sum(r["requests"] for r in runs.values())
        return checks.finish(
            f"{warmup}+{seconds} s, {requests} requests, {acked} posts acknowledged, "
            f"RSS {rss_warm // 1024}->{rss_end // 1024} MB, {SLOW} slow + {IDLE} idle "
            f"clients (dropped {attack.dropped['slow']} slow, {attack.dropped['idle']} idle)")


if __name__ == "__main__":
    sys.exit(main())
