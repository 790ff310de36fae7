#!/usr/bin/env python3
"""Holds idle keep-alive connections open and reports the server's memory.

Usage: idle.py HOST PORT COUNT PID PATH

Opens COUNT connections to HOST:PORT, makes one keep-alive request for PATH on
each (so every connection has been served once) and, with all of them open
and idle, prints the resident set of process PID in MB (VmRSS) as
"idle_rss_mb N connections C".
"""
import resource
import socket
import sys
import time


def read_response(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed before the head")
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value)
    while len(body) < length:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed before the body's end")
        body += chunk


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return 0.0


def main():
    host, port, count, pid, path = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), \
        int(sys.argv[4]), sys.argv[5]
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    request = (f"GET {path} HTTP/1.1\r\nHost: {host}:{port}\r\n"
               "Connection: keep-alive\r\n\r\n").encode()
    held = []
    try:
        for _ in range(count):
            sock = socket.create_connection((host, port), timeout=10)
            sock.sendall(request)
            read_response(sock)
            held.append(sock)
    except OSError as error:
        print(f"idle: stopped after {len(held)} connections: {error}", file=sys.stderr)
    time.sleep(2)
    print(f"idle_rss_mb {rss_mb(pid):.1f} connections {len(held)}")
    for sock in held:
        sock.close()


if __name__ == "__main__":
    main()
