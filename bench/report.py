#!/usr/bin/env python3
"""Turns the outputs of wrk over all rounds into one table and results.json.

Usage: report.py OUT_DIR RESULTS_JSON SECONDS ROUNDS

OUT_DIR holds wrk's output of nginx's scenario NAME in round R as NAME.R.txt,
and each engine's (sqlite, and mariadb when it ran) in ENGINE/NAME.R.txt
beside ENGINE/figures.json (rss_load, rss_idle in MB, stored posts, success
pages, duplicate infono). MariaDB's figures are compared with SQLite's. Each
scenario reports the median of its rounds (requests/s, p50, p99) and the sum
of its errors (responses other than 2xx/3xx plus socket errors). Requests/s
counts the 2xx/3xx answers only, so that a server refusing work fast does
not look fast.
"""
import glob
import json
import os
import re
import statistics
import sys

# Scenario, what it requests, the scenario it is compared with, the least
# ratio to it, the highest p99 in ms. S5 is compared in stored posts/s.
SCENARIOS = [
    ("C1", "nginx: S1's bytes as a static file", None, None, None),
    ("S1", "show.asp?name=small", "C1", 0.50, 20),
    ("S2", "show.asp?name=big", "S1", 0.90, 20),
    ("S3", "show.asp?name=big&move=end", "S1", 0.80, 20),
    ("S8", "show.asp?name=big&Page=50000", "S1", 0.80, None),
    ("S4", "big: subject search, 1 match", "S1", 0.30, None),
    ("S9", "big: subject search, 100,000 matches", "S1", 0.20, None),
    ("S5", "add.asp + add_check.asp cycle (stored/s)", None, 2000, None),
    ("S6", "userlist.asp, 100,000 guestbooks", "S1", 0.50, 20),
    ("C2", "nginx: the GIF as a static file", None, None, None),
    ("S7", "pic/1.gif", "C2", 0.70, None),
    ("X1_S1", "S1 beside S4+S8 load (share of S1)", "S1", 0.50, 50),
    ("X1_S7", "S7 beside S4+S8 load (share of S7)", "S7", 0.50, 50),
    # nginx in X1's shape (64 connections on C1 while 8 + 8 run C1 and C2):
    # the share any server keeps when the load generator shares its cores.
    ("X1_C1", "nginx: C1 beside a C1 load (share of C1)", "C1", None, None),
    ("X1_C2", "nginx: C2 beside a C1 load (share of C2)", "C2", None, None),
]
RSS_LIMITS = {"load": 64, "idle_10k": 200}

UNITS_MS = {"us": 0.001, "ms": 1.0, "s": 1000.0, "m": 60000.0, "h": 3600000.0}


def duration_ms(text):
    number, unit = re.fullmatch(r"([\d.]+)([a-z]+)", text).groups()
    return float(number) * UNITS_MS[unit]


def parse_wrk(text):
    """Requests/s, p50 and p99 in ms, and errors of one wrk output."""
    rps = re.search(r"Requests/sec:\s+([\d.]+)", text)
    p50 = re.search(r"^\s+50%\s+(\S+)", text, re.M)
    p99 = re.search(r"^\s+99%\s+(\S+)", text, re.M)
    if not (rps and p50 and p99):
        return None
    socket = re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), "
                       r"timeout (\d+)", text)
    refused = re.search(r"Non-2xx or 3xx responses: (\d+)", text)
    refused = int(refused.group(1)) if refused else 0
    answered = int(re.search(r"(\d+) requests in", text).group(1))
    good = (answered - refused) / answered if answered else 0.0
    errors = refused + (sum(int(n) for n in socket.groups()) if socket else 0)
    return {"rps": float(rps.group(1)) * good, "p50_ms": duration_ms(p50.group(1)),
            "p99_ms": duration_ms(p99.group(1)), "errors": errors}


def medians(out_dir, name):
    runs = []
    for path in sorted(glob.glob(os.path.join(out_dir, f"{name}.*.txt"))):
        with open(path, encoding="utf-8", errors="replace") as f:
            parsed = parse_wrk(f.read())
        if parsed:
            runs.append(parsed)
    if not runs:
        return None
    return {"rps": round(statistics.median(r["rps"] for r in runs), 2),
            "p50_ms": round(statistics.median(r["p50_ms"] for r in runs), 3),
            "p99_ms": round(statistics.median(r["p99_ms"] for r in runs), 3),
            "errors": sum(r["errors"] for r in runs)}


def engine_results(out_dir, engine):
    """The medians of one engine's scenarios (nginx's beside them), and its figures."""
    with open(os.path.join(out_dir, engine, "figures.json")) as f:
        figures = json.load(f)
    results = {name: medians(out_dir if name.startswith(("C", "X1_C")) else
                             os.path.join(out_dir, engine), name)
               for name, *_ in SCENARIOS}
    return results, figures


def print_sqlite(results, figures, seconds, rounds):
    print(f"{'scenario':<7} {'what':<42} {'req/s':>10} {'p50 ms':>8} {'p99 ms':>8} "
          f"{'errors':>7} {'ratio':>9}  target")
    for name, what, reference, least, p99_limit in SCENARIOS:
        r = results[name]
        if r is None:
            print(f"{name:<7} {what:<42} {'no result':>10}")
            continue
        ratio, target, ok = "", "", True
        if name == "S5":
            per_second = figures["stored"] / (seconds * rounds)
            ratio, target = f"{per_second:.0f}/s", f">= {least} stored/s"
            ok = per_second >= least
        elif reference:
            base = results.get(reference)
            if base and base["rps"] > 0:
                share = r["rps"] / base["rps"]
                ratio = f"{share:.0%}"
                ok = least is None or share >= least
            if least is not None:
                target = f">= {least:.0%} of {reference}"
        if p99_limit is not None:
            target += f", p99 < {p99_limit} ms"
            ok = ok and r["p99_ms"] < p99_limit
        verdict = "" if not target else ("ok" if ok else "MISS")
        print(f"{name:<7} {what:<42} {r['rps']:>10.0f} {r['p50_ms']:>8.2f} "
              f"{r['p99_ms']:>8.2f} {r['errors']:>7} {ratio:>9}  {target} {verdict}")


def print_mariadb(results, sqlite, figures, sqlite_figures):
    """Each scenario of the server on MariaDB beside the one on SQLite: within a
    factor of two (at least half the requests/s, or stored posts)."""
    print(f"\nMariaDB {'what':<42} {'req/s':>10} {'p50 ms':>8} {'p99 ms':>8} "
          f"{'errors':>7} {'of SQLite':>9}  target")
    for name, what, *_ in SCENARIOS:
        if name.startswith(("C", "X1_C")):
            continue
        r, base = results[name], sqlite[name]
        if r is None or base is None:
            print(f"{name:<7} {what:<42} {'no result':>10}")
            continue
        mine, theirs = ((figures["stored"], sqlite_figures["stored"]) if name == "S5"
                        else (r["rps"], base["rps"]))
        share = mine / theirs if theirs else 0.0
        verdict = "ok" if share >= 0.5 else "MISS"
        print(f"{name:<7} {what:<42} {r['rps']:>10.0f} {r['p50_ms']:>8.2f} "
              f"{r['p99_ms']:>8.2f} {r['errors']:>7} {share:>9.0%}  >= 50% of SQLite "
              f"{verdict}")


def summary(results, figures):
    posts = {"stored": figures["stored"],
             "lost": max(0, figures["success_pages"] - figures["stored"]),
             "duplicate_infono": figures["duplicates"]}
    return {"scenarios": {n: r for n, r in results.items() if r is not None},
            "rss_mb": {"load": figures["rss_load"], "idle_10k": figures["rss_idle"]},
            "posts": posts}


def main():
    out_dir, results_path = sys.argv[1], sys.argv[2]
    seconds, rounds = float(sys.argv[3]), int(sys.argv[4])
    results, figures = engine_results(out_dir, "sqlite")
    print_sqlite(results, figures, seconds, rounds)
    out = summary(results, figures)
    for key, limit in RSS_LIMITS.items():
        value = out["rss_mb"][key]
        print(f"RSS {key:<8} {value:>8.1f} MB   target < {limit} MB "
              f"{'ok' if value < limit else 'MISS'}")
    print(f"posts: stored {out['posts']['stored']}, lost {out['posts']['lost']}, "
          f"duplicate infono {out['posts']['duplicate_infono']}")
    if os.path.isdir(os.path.join(out_dir, "mariadb")):
        maria, maria_figures = engine_results(out_dir, "mariadb")
        print_mariadb(maria, results, maria_figures, figures)
        out["mariadb"] = summary(maria, maria_figures)
        del out["mariadb"]["rss_mb"]["idle_10k"]
        posts = out["mariadb"]["posts"]
        print(f"MariaDB: RSS under load {maria_figures['rss_load']:.1f} MB; posts: stored "
              f"{posts['stored']}, lost {posts['lost']}, duplicate infono "
              f"{posts['duplicate_infono']}")
    with open(results_path, "w") as f:
        json.dump(out, f, indent=2)
        f.write("\n")


if __name__ == "__main__":
    main()
