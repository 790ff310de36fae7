"""Faults of the store under a running `tavobook serve`, one per ctest test
(`python3 faults.py read_only|disk_full|killed BUILD/tavobook`);
what each checks is said above its function. Those that need root (chattr,
mount) exit 77 (skipped) without it."""
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import harness
from harness import BUSY_TEXT, attempt

PAGES = ("/show.asp?name=book1", "/show.asp?name=book2", "/userlist.asp")
SEEDED = 5  # messages of book1 before the test


def seeded_site(binary, tmp):
    """The store is in `tmp`/store, a folder of its own for the faults."""
    db = os.path.join(tmp, "store", "store.db")
    harness.seed(binary, db, "--guestbooks", "2", "--messages", str(SEEDED), "--book", "book1")
    return harness.Site(binary, db, tmp).start()


def pages_answer(checks, visitor, when):
    for path in PAGES:
        checks.answered(attempt(visitor.request, path), {200}, f"{when}: {path}")


def refused_while(binary, tmp, checks, what, fault, mend, room=0, register=False):
    """A post before `fault()` (False: the fault could not be made),
    then, while it lasts, posts until one is refused (at most `room` acknowledged
    first) with 503 and the busy text, a registration refused so too when
    `register`, pages answering 200; after `mend()` a post again, every
    acknowledged post stored and no other."""
    server = seeded_site(binary, tmp)
    visitor = harness.Visitor(server.port)
    checks.expect(visitor.post_message("book1", "before")[2], "a post before the fault")
    acked = 0
    try:
        if not fault():
            server.stop()
            return None
        for n in range(room + 1):
            result = attempt(visitor.post_message, "book1", f"during{n}")
            if isinstance(result, Exception) or not result[2]:
                break
            acked += 1
        checks.answered(result, {503}, f"{what}: a post answers 503 (after {acked} stored)",
                        BUSY_TEXT)
        if register:
            checks.answered(attempt(visitor.register, "rofault"), {503},
                            f"{what}: a registration answers 503", BUSY_TEXT)
        pages_answer(checks, visitor, what)
    finally:
        mend()
    checks.expect(visitor.post_message("book1", "after")[2], "a post once the fault is mended")
    checks.expect(server.stop() == 0, "serve stops cleanly")
    stored = harness.count_rows(server.db, "select count(*) from liuyan where name = 'book1'")
    checks.expect(stored == SEEDED + 2 + acked, "every acknowledged post stored, no other",
                  f"{stored - SEEDED} stored, {acked + 2} acknowledged")
    checks.store_consistent(server.db)
    return server


# The store's files and folder made immutable (root ignores permissions, not
# chattr +i): pages answer 200, a post and a registration 503 with the busy text.
def read_only(binary, tmp, checks):
    if os.geteuid() != 0 or not shutil.which("chattr"):
        return None
    store = os.path.join(tmp, "store")
    # The shared-memory index (-shm) stays writable: SQLite maps it, and a
    # mapped page of an immutable file faults (SIGBUS) instead of failing a
    # write, which no read-only filesystem does to a file opened before.
    files = [os.path.join(store, "store.db"), os.path.join(store, "store.db-wal"), store]

    def set_immutable(paths, flag):
        return all(subprocess.run(["chattr", flag, p], stderr=subprocess.DEVNULL).returncode == 0
                   for p in paths if os.path.exists(p))
    return refused_while(binary, tmp, checks, "read-only store",
                         lambda: set_immutable(files, "+i"),
                         lambda: set_immutable(reversed(files), "-i"), register=True)


# The store on a 2 MB tmpfs filled up: posts answer 503, pages 200, nothing
# half-written, posts work again once there is room.
def disk_full(binary, tmp, checks):
    if os.geteuid() != 0:
        return None
    store = os.path.join(tmp, "store")
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", store]).returncode:
        return None
    filler = os.path.join(store, "filler")
    # dd writes until no byte is left (and so fails). The journal may still
    # have room for a few posts; the first one that finds none must be
    # refused, and all before it stored.
    fill = ["dd", "if=/dev/zero", f"of={filler}", "bs=512"]
    try:
        return refused_while(binary, tmp, checks, "full disk",
                             lambda: subprocess.run(fill, stderr=subprocess.DEVNULL).returncode,
                             lambda: os.remove(filler), room=300)
    finally:
        subprocess.run(["umount", "-l", store])


# kill -9 during a burst of posts, then a restart on the same store: every
# acknowledged post stored once, store intact.
def killed(binary, tmp, checks):
    server = seeded_site(binary, tmp)
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

    with ThreadPoolExecutor(4) as posters:
        posters.map(post_until_gone, range(4))
        deadline = time.monotonic() + 10
        while len(acked) < 50 and time.monotonic() < deadline:
            time.sleep(0.05)
        os.kill(server.pid, signal.SIGKILL)
        server.proc.wait()

    server = harness.Site(binary, server.db, tmp).start()
    pages_answer(checks, harness.Visitor(server.port), "restarted")
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
    checks.store_consistent(server.db)
    return server


def main():
    name, binary = sys.argv[1], sys.argv[2]
    checks = harness.Checks(name)
    with harness.workdir(name) as tmp:
        os.mkdir(os.path.join(tmp, "store"))
        server = {"read_only": read_only, "disk_full": disk_full,
                  "killed": killed}[name](binary, tmp, checks)
        if server is None:
            print(f"{name}: needs root (chattr or mount): SKIPPED")
            return harness.SKIP
        errors = server.errors()
        return checks.finish(f"{len(errors)} page errors logged"
                             + (f", first: {errors[0]}" if errors else ""))


if __name__ == "__main__":
    sys.exit(main())
