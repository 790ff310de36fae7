"""Faults of the store under a running `tavobook serve`, one per ctest test
(`python3 faults.py read_only|disk_full|store_removed|killed BUILD/tavobook`);
what each checks is said above its function. Those that need root (chattr,
mount) exit 77 (skipped) without it."""
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import threading

import harness
from harness import BUSY_TEXT, attempt

PAGES = ("/show.asp?name=book1", "/show.asp?name=book2", "/userlist.asp")
SEEDED = 5  # messages of book1 before the test


def seeded_site(binary, tmp, store_dir):
    db = os.path.join(store_dir, "store.db")
    harness.seed(binary, db, "--guestbooks", "2")
    harness.seed(binary, db, "--messages", str(SEEDED), "--book", "book1")
    return harness.Site(binary, db, tmp).start()


def book1_rows(db):
    return harness.count_rows(db, "select count(*) from liuyan where name = 'book1'")


def store_consistent(checks, db):
    problems = harness.store_problems(db)
    checks.expect(not problems, "store consistent", "; ".join(problems))


def pages_answer(checks, visitor, statuses, when):
    for path in PAGES:
        checks.answered(attempt(visitor.get, path), statuses, f"{when}: {path}")


def set_immutable(paths, on):
    flag = "+i" if on else "-i"
    return all(subprocess.run(["chattr", flag, p], stderr=subprocess.DEVNULL).returncode == 0
               for p in paths if os.path.exists(p))


# The store's files and folder made immutable (root ignores permissions, not
# chattr +i): pages answer 200, a post and a registration 503 with the busy text.
def read_only(binary, tmp, checks):
    if os.geteuid() != 0 or not shutil.which("chattr"):
        return None
    store = os.path.join(tmp, "store")
    os.mkdir(store)
    server = seeded_site(binary, tmp, store)
    visitor = harness.Visitor(server.port)
    checks.expect(visitor.post_message("book1", "before")[2], "a post before the fault")
    # The shared-memory index (-shm) stays writable: SQLite maps it, and a
    # mapped page of an immutable file faults (SIGBUS) instead of failing a
    # write, which no read-only filesystem does to a file opened before.
    files = [server.db, server.db + "-wal", store]
    try:
        if not set_immutable(files, True):
            server.stop()
            return None
        pages_answer(checks, visitor, {200}, "read-only store")
        checks.answered(attempt(visitor.post_message, "book1", "during"), {503},
                        "read-only store: a post answers 503", BUSY_TEXT)
        checks.answered(attempt(visitor.register, "rofault"), {503},
                        "read-only store: a registration answers 503", BUSY_TEXT)
    finally:
        set_immutable(reversed(files), False)
    checks.expect(visitor.post_message("book1", "after")[2], "a post once writable again")
    checks.expect(server.stop() == 0, "serve stops cleanly")
    checks.expect(book1_rows(server.db) == SEEDED + 2, "only the two posts outside the fault "
                  "stored", f"{book1_rows(server.db) - SEEDED} stored")
    store_consistent(checks, server.db)
    return server


# The store on a 2 MB tmpfs filled up: posts answer 503, pages 200, nothing
# half-written, posts work again once there is room.
def disk_full(binary, tmp, checks):
    if os.geteuid() != 0:
        return None
    store = os.path.join(tmp, "store")
    os.mkdir(store)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", store]).returncode:
        return None
    try:
        server = seeded_site(binary, tmp, store)
        visitor = harness.Visitor(server.port)
        checks.expect(visitor.post_message("book1", "before")[2], "a post before the fault")
        filler = os.path.join(store, "filler")
        with open(filler, "wb", buffering=0) as f:
            for block in (65536, 512):
                try:
                    while True:
                        f.write(b"\0" * block)
                except OSError:
                    pass
        # The journal may still have room for a few posts; the first one
        # that finds none must be refused, and all before it stored.
        acked, result = 0, None
        for n in range(300):
            result = attempt(visitor.post_message, "book1", f"full{n}")
            if isinstance(result, Exception) or not result[2]:
                break
            acked += 1
        checks.answered(result, {503}, f"full disk: a post answers 503 (after {acked} stored)",
                        BUSY_TEXT)
        pages_answer(checks, visitor, {200}, "full disk")
        os.remove(filler)
        checks.expect(visitor.post_message("book1", "after")[2], "a post once there is room")
        checks.expect(server.stop() == 0, "serve stops cleanly")
        checks.expect(book1_rows(server.db) == SEEDED + 2 + acked,
                      "every acknowledged post stored, no other",
                      f"{book1_rows(server.db) - SEEDED} stored, {acked + 2} acknowledged")
        store_consistent(checks, server.db)
        return server
    finally:
        subprocess.run(["umount", "-l", store])


# The store's files removed, then put back from a copy: pages answer (200 or a
# plain 5xx) and the server stays up; once put back, a post lands in that file.
def store_removed(binary, tmp, checks):
    server = seeded_site(binary, tmp, tmp)
    visitor = harness.Visitor(server.port)
    checks.expect(visitor.post_message("book1", "before")[2], "a post before the fault")
    copy = os.path.join(tmp, "copy.db")
    with sqlite3.connect(server.db) as src, sqlite3.connect(copy) as dst:
        src.backup(dst)
    for suffix in ("", "-wal", "-shm"):
        os.remove(server.db + suffix)
    # Any answer will do while the store is gone, but it must come.
    pages_answer(checks, visitor, set(range(200, 600)) - set(range(300, 500)), "store removed")
    checks.answered(attempt(visitor.post_message, "book1", "gone"),
                    {200, 500, 503}, "store removed: a post is answered")
    checks.expect(server.alive(), "serve still running")
    shutil.copy(copy, server.db)
    pages_answer(checks, visitor, {200}, "store put back")
    checks.expect(visitor.post_message("book1", "back")[2], "store put back: a post")
    landed = harness.count_rows(server.db,
                                "select count(*) from liuyan where subject = 'back'")
    checks.expect(landed == 1, "that post is in the store put back", f"{landed} rows")
    checks.expect(server.stop() == 0, "serve stops cleanly")
    store_consistent(checks, server.db)
    return server


# kill -9 during a burst of posts, then a restart on the same store: every
# acknowledged post stored once, store intact.
def killed(binary, tmp, checks):
    server = seeded_site(binary, tmp, tmp)
    acked, lock = [], threading.Lock()

    def post_until_gone(poster):
        visitor = harness.Visitor(server.port, timeout=5)
        for n in range(100000):
            result = attempt(visitor.post_message, "book1", f"kill{poster}x{n}")
            if isinstance(result, Exception):
                return
            if result[2]:
                with lock:
                    acked.append(f"kill{poster}x{n}")

    posters = [threading.Thread(target=post_until_gone, args=(p,)) for p in range(4)]
    for p in posters:
        p.start()
    harness.wait_until(lambda: len(acked) >= 50, 10)
    os.kill(server.pid, signal.SIGKILL)
    server.proc.wait()
    for p in posters:
        p.join()

    server = harness.Site(binary, server.db, tmp).start()
    pages_answer(checks, harness.Visitor(server.port), {200}, "restarted")
    checks.expect(server.stop() == 0, "serve stops cleanly after the restart")
    with sqlite3.connect(server.db) as conn:
        stored = dict(conn.execute(
            "select subject, count(*) from liuyan where subject like 'kill%' group by subject"))
    lost = [s for s in acked if s not in stored]
    twice = [s for s, n in stored.items() if n > 1]
    checks.expect(acked and not lost and not twice,
                  "every post acknowledged before the kill stored once",
                  f"{len(acked)} acknowledged, {len(stored)} stored, lost {lost[:3]}, "
                  f"twice {twice[:3]}")
    store_consistent(checks, server.db)
    return server


def main():
    name, binary = sys.argv[1], sys.argv[2]
    checks = harness.Checks(name)
    with harness.workdir(name) as tmp:
        server = {"read_only": read_only, "disk_full": disk_full,
                  "store_removed": store_removed, "killed": killed}[name](binary, tmp, checks)
        if server is None:
            print(f"{name}: needs root (chattr or mount): SKIPPED")
            return harness.SKIP
        errors = server.errors()
        return checks.finish(f"{len(errors)} page errors logged"
                             + (f", first: {errors[0]}" if errors else ""))


if __name__ == "__main__":
    sys.exit(main())
