"""`tavobook serve` on a free loopback port with its own store, for the soak
and the fault tests; a visitor that browses it as a browser would (pages and
forms in GB18030); checks of the store."""
import http.client
import os
import pathlib
import re
import signal
import sqlite3
import subprocess
import tempfile
import urllib.parse

SKIP = 77  # ctest's SKIP_RETURN_CODE for these tests
BUSY_TEXT = "服务器忙，请稍后再试！"
PASSWORD = "pass1234"  # every guestbook `tavobook seed` writes has it

CONFIG = pathlib.Path(__file__).with_name("serve.toml").read_text(encoding="utf-8")  # with its why


class Site:
    """One `serve` process over `db` (None: the store of `config`); `log`
    collects its stderr."""

    def __init__(self, binary, db, workdir, config=CONFIG, name="serve"):
        self.binary, self.db, self.workdir, self.config = binary, db, workdir, config
        self.log, self.name = os.path.join(workdir, f"{name}.log"), name

    def start(self):
        config = pathlib.Path(self.workdir, f"{self.name}.toml")
        config.write_text(self.config, encoding="utf-8")
        with open(self.log, "ab") as err:
            self.proc = subprocess.Popen(
                [self.binary, "serve", "--listen", "127.0.0.1:0", "--config", config,
                 "--admin-password", "admin1234"] + (["--db", self.db] if self.db else []),
                stdout=subprocess.PIPE, stderr=err, text=True)
        found = re.match(r"listening on http://127\.0\.0\.1:(\d+)/", self.proc.stdout.readline())
        if not found:
            self.proc.wait()
            raise RuntimeError(f"serve exited {self.proc.returncode}; see {self.log}")
        self.port, self.pid = int(found.group(1)), self.proc.pid
        return self

    def stop(self, timeout=20):
        """SIGTERM; the exit status (None when it would not stop)."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return None

    def rss_kb(self):
        with open(f"/proc/{self.pid}/status", encoding="ascii") as f:
            return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))

    def errors(self):
        """The page errors the server logged."""
        with open(self.log, encoding="utf-8", errors="replace") as f:
            return [line.rstrip() for line in f if line.startswith(("error:", "busy:"))]


def seed(binary, db, *args):
    subprocess.run([binary, "seed", "--db", db, *args], check=True, stdout=subprocess.DEVNULL)


class Visitor:
    """A browser: one keep-alive connection, and the cookies it was given."""

    def __init__(self, port, timeout=10):
        self.port, self.timeout, self.cookies, self.conn = port, timeout, {}, None

    def request(self, path, fields=None):
        """A GET, or a POST of `fields`: (status, body as text); OSError without an answer."""
        body = urllib.parse.urlencode(fields, encoding="gb18030") if fields else None
        headers = {"Cookie": "; ".join(f"{k}={v}" for k, v in self.cookies.items())}
        if body is not None:
            headers["Content-Type"] = "application/x-www-form-urlencoded"
        for attempt in (1, 2):  # once more on a keep-alive connection the server closed
            self.conn = self.conn or http.client.HTTPConnection("127.0.0.1", self.port,
                                                                timeout=self.timeout)
            try:
                self.conn.request("POST" if body else "GET", path, body, headers)
                res = self.conn.getresponse()
                data = res.read()
                break
            except (OSError, http.client.HTTPException) as e:
                self.conn.close()
                self.conn = None
                if attempt == 2 or not isinstance(e, (http.client.RemoteDisconnected,
                                                      BrokenPipeError, ConnectionResetError)):
                    raise
        for header in res.headers.get_all("Set-Cookie") or []:
            name, _, value = header.split(";", 1)[0].partition("=")
            self.cookies[name.strip()] = value
        if res.will_close:
            self.conn.close()
            self.conn = None
        return res.status, data.decode("gb18030", errors="replace")

    def post_message(self, book, subject):
        """The form, then the post to its action (which carries the form key):
        (status, body, acknowledged)."""
        status, form = self.request(f"/add.asp?name={book}")
        action = re.search(r'action="(add_check\.asp\?[^"]*)"', form)
        if status != 200 or not action:
            return status, form, False
        status, body = self.request("/" + action.group(1), {
            "guestname": "soak visitor", "subject": subject,
            "message": f"message {subject} of the soak", "html": "2"})
        return status, body, status == 200 and f"URL=show.asp?name={book}" in body

    def register(self, name):
        return self.request("/reg_check.asp", {
            "name": name, "password": PASSWORD, "password2": PASSWORD,
            "email": f"{name}@example.com", "homepage": f"http://{name}.example.com/",
            "titletop": "留言本", "question": "我最喜欢的颜色", "answer": "天蓝色的",
            "idcard": "110101199001011234", "html": "2"})


def count_rows(db, sql, *params):
    with sqlite3.connect(db) as conn:
        return conn.execute(sql, params).fetchone()[0]


class Checks:
    """Named checks, one line each, and the test's exit status."""

    def __init__(self, test):
        self.test, self.failed, self.total = test, 0, 0

    def expect(self, ok, what, detail=""):
        self.total += 1
        self.failed += not ok
        print(f"{'ok  ' if ok else 'FAIL'} {what}{': ' + str(detail) if detail else ''}", flush=True)
        return ok

    def answered(self, result, statuses, what, text=None):
        """`result` is (status, body) or the exception that stood for it."""
        if isinstance(result, Exception):
            return self.expect(False, what, f"no answer ({result!r})")
        lacks = text is not None and text not in result[1]
        return self.expect(result[0] in statuses and not lacks, what, f"status {result[0]}"
                           + (f", body lacks {text!r}" if lacks else ""))

    def store_consistent(self, db):
        """A store no message was deleted from: its integrity, no number given
        twice in a guestbook, and each guestbook's counter its message count
        (numbers run from 0: also the highest number + 1)."""
        with sqlite3.connect(db) as conn:
            problems = [f"integrity: {r[0]}" for r in conn.execute("pragma integrity_check")
                        if r[0] != "ok"] + [
                f"{name}: infono {no} stored {n} times" for name, no, n in conn.execute(
                    "select name, infono, count(*) from liuyan group by name, infono"
                    " having count(*) > 1 limit 5")] + [
                f"{name}: infoserial {serial}, {n} messages, highest infono {top}"
                for name, serial, n, top in conn.execute(
                    "select u.name, u.infoserial, count(l.id), max(l.infono) from user u"
                    " left join liuyan l on l.name = u.name group by u.id"
                    " having u.infoserial != count(l.id)"
                    " or coalesce(max(l.infono) + 1, 0) != u.infoserial limit 5")]
        return self.expect(not problems, "store consistent", "; ".join(problems))

    def finish(self, summary):
        word = "PASS" if not self.failed else f"FAIL ({self.failed} of {self.total})"
        print(f"{self.test}: {summary}: {word}", flush=True)
        return 1 if self.failed else 0


def attempt(call, *args):
    """The call's result, or the error that stood for its answer."""
    try:
        return call(*args)
    except (OSError, http.client.HTTPException) as e:
        return e


def workdir(test):
    return tempfile.TemporaryDirectory(prefix=f"tavobook-{test}-")
