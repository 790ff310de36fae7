"""Two `serve` processes on one MariaDB store behind nginx, the first through
TCP, the second through the server's Unix socket: a visitor logs in on one
and deletes on the other, and visitors posting at once through nginx get
every message stored once with distinct numbers.

Usage: two_servers.py TAVOBOOK DSN-FILE   (skips without nginx)
"""
import os
import pathlib
import shutil
import socket
import string
import subprocess
import sys
import urllib.parse
from concurrent.futures import ThreadPoolExecutor

from harness import SKIP, Checks, Site, Visitor, workdir

VISITORS, POSTS = 16, 10
NGINX = shutil.which("nginx") or "/usr/sbin/nginx"
HERE = os.path.dirname(os.path.abspath(__file__))


def sql(dsn, text):
    """Runs `text` with the mariadb client; its rows as tab-separated lines."""
    u = urllib.parse.urlparse(dsn)
    out = subprocess.run(["mariadb", "--no-defaults", "-N", "-h", u.hostname, "-P", str(u.port),
                          "-u", u.username, f"-p{u.password}", u.path[1:], "-e", text],
                         check=True, capture_output=True, text=True).stdout
    return out.strip()


def serve(binary, dsn, tmp, n):
    config = string.Template(pathlib.Path(HERE, "two_servers.toml").read_text()).substitute(dsn=dsn)
    return Site(binary, None, tmp, name=f"serve{n}", config=config).start()


def nginx(tmp, ports):
    """Starts nginx.conf's nginx in front of `ports`, in `tmp`; (its pid, its port)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        front = s.getsockname()[1]
    conf = pathlib.Path(tmp, "nginx.conf")
    conf.write_text(string.Template(pathlib.Path(HERE, "nginx.conf").read_text()).substitute(
        front=front, upstream=" ".join(f"server 127.0.0.1:{p};" for p in ports)))
    subprocess.run([NGINX, "-p", tmp, "-c", conf], check=True)
    return int(pathlib.Path(tmp, "nginx.pid").read_text()), front


def main():
    binary, dsn_file = sys.argv[1], sys.argv[2]
    if not os.path.exists(NGINX):
        print("two_servers: no nginx: skipped")
        return SKIP
    base = pathlib.Path(dsn_file).read_text(encoding="ascii").strip()
    dsn = base.rsplit("/", 1)[0] + f"/two_{os.getpid()}"
    sql(base, f"create database two_{os.getpid()}")
    checks = Checks("two_servers")
    with workdir("two") as tmp:
        by_socket = f"mariadb://tb:tb@localhost/two_{os.getpid()}?socket=" + str(
            pathlib.Path(dsn_file).parent.resolve() / "sock")
        servers = [serve(binary, d, tmp, n) for n, d in ((1, dsn), (2, by_socket))]
        a, b = (server.port for server in servers)
        nginx_pid, front = nginx(tmp, [a, b])
        try:
            owner = Visitor(a)
            checks.answered(owner.register("two1"), {200}, "registered on one server")
            owner.post_message("two1", "to delete")
            owner.request("/admin_login.asp", {"name": "two1", "password": "pass1234"})
            owner.port, owner.conn = b, None  # the same cookies, the other server
            checks.answered(owner.request("/admin.asp"), {200}, "logged in on the other", "two1")
            message = sql(dsn, "select id from liuyan where name = 'two1'")
            owner.request("/show.asp?name=two1&del=1", {"lydelno": message})
            checks.expect(sql(dsn, "select count(*) from liuyan") == "0", "deleted there")

            def post(k):
                v = Visitor(front)
                for i in range(POSTS):
                    v.post_message("two1", f"v{k} p{i}")
            with ThreadPoolExecutor(VISITORS) as visitors:
                visitors.map(post, range(VISITORS))
            stored = sql(dsn, "select count(*), count(distinct infono), count(distinct subject)"
                              " from liuyan where name = 'two1'")
            want = VISITORS * POSTS
            checks.expect(stored == f"{want}\t{want}\t{want}", "posted through nginx", stored)
            for server in servers:
                server.stop()  # which writes the access lines it gathered
            took = [open(server.log, encoding="utf-8").read().count("POST /add_check")
                    for server in servers]
            checks.expect(all(took), "both servers took posts", took)
        finally:
            os.kill(nginx_pid, 15)
            for server in servers:
                server.stop()
            sql(base, f"drop database two_{os.getpid()}")
    return checks.finish(f"{VISITORS} visitors x {POSTS} posts through two servers")


if __name__ == "__main__":
    sys.exit(main())
