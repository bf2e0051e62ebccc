#!/usr/bin/env python3
"""The costs of a century-long book as a user meets them, for one or more builds in one run.

    bench/ratios.py [LABEL=BUILD_DIR ...]        (default: now=build)

Each build directory must hold a Release build with the benchmarks (tavrino, tavrino-book,
bench/tavrino_bench, bench/first-window). The book is generated once, on the same disk as the
saved copies (a temporary folder under /var/tmp), and every build reads the same file. Printed:
  - tavrino-book check of the book against cat of the same file (wall and CPU time, hyperfine);
  - the planner's first window on an Xvfb server with the book remembered against none (wall
    and CPU time from the start of the process to the map of its window, median of the rounds);
  - the peak resident size of the planner and of the tool holding the book;
  - saving against one safe write of the same bytes, the memo keystroke (also against the same
    keystroke on a book of that one day), SelectDay, reading, the composition of the loaded book
    and the book tool's import of 30000 days against 3000, from the Google benchmark.
The machine's load is printed before and after; CPU times are steadier than wall times on a
busy machine.
"""

import json
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

ROUNDS = int(os.environ.get("TAVRINO_RATIO_ROUNDS", "9"))


def small_book():
    """One day, 7 July 2009, with 08 and 会議 in row 0: the smallest book worth opening."""
    def text(t):
        units = t.encode("utf-16-le")
        return b"\xff\xfe\xff" + bytes([len(units) // 2]) + units
    day = struct.pack("<Id", 0, 40001.0) + text("") + text("")
    for row in range(10):
        day += text("08" if row == 0 else "") + text("会議" if row == 0 else "") + text("")
    return struct.pack("<I", 1) + day + text("")


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def start_xvfb():
    """An Xvfb server of its own: it picks a free display and names it once it takes clients."""
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24",
                               "-nolisten", "tcp"], pass_fds=(write,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as f:
        number = f.readline().strip()
    if not number:
        sys.exit("ratios: no Xvfb display could be started")
    return server, f":{number}"


def profile_home(work, name, book):
    """A home folder whose planner profile remembers book (or nothing)."""
    home = os.path.join(work, name)
    os.makedirs(os.path.join(home, ".config", "VELKORAN"), exist_ok=True)
    runtime = os.path.join(home, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    if book:
        with open(os.path.join(home, ".config", "VELKORAN", "Tavrino.conf"), "w") as f:
            f.write(f"[Recent%20File%20List]\nFile_dat={book}\n")
    return home


def first_window(build, home, display):
    env = dict(os.environ, HOME=home, DISPLAY=display, XDG_RUNTIME_DIR=os.path.join(home, "runtime"),
               QT_QPA_PLATFORM="xcb")
    out = subprocess.run([os.path.join(build, "bench", "first-window"), os.path.join(build, "tavrino")],
                         env=env, capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit(f"ratios: the planner did not start:\n{out.stderr}")
    out = out.stdout.split()
    # A journal or profile written by one start must not change the next.
    for leftover in (".local", ".cache"):
        shutil.rmtree(os.path.join(home, leftover), ignore_errors=True)
    return float(out[0]), float(out[1]), int(out[2])


def peak_kib(command):
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def hyperfine(commands, work):
    out = os.path.join(work, "hyperfine.json")
    subprocess.run(["hyperfine", "-N", "--warmup", "3", "--runs", "30", "--style", "none",
                    "--export-json", out] + commands, check=True, stdout=subprocess.DEVNULL)
    with open(out) as f:
        results = json.load(f)["results"]
    # Medians: the mean of a few runs on a busy machine is its slowest neighbour's.
    return [(statistics.median(r["times"]),
             statistics.median(u + s for u, s in zip(r["user"], r["system"])) if "user" in r
             and isinstance(r["user"], list) else r["user"] + r["system"]) for r in results]


def google_benchmark(build, work):
    out = os.path.join(work, "bench.json")
    subprocess.run([os.path.join(build, "bench", "tavrino_bench"), "--benchmark_out=" + out,
                    "--benchmark_out_format=json", "--benchmark_repetitions=3",
                    "--benchmark_report_aggregates_only=true"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(out) as f:
        runs = json.load(f)["benchmarks"]
    found = {}
    for run in runs:
        if run.get("aggregate_name", "median") != "median" and run["run_type"] == "aggregate":
            continue
        name = "/".join(part for part in run["run_name"].split("/")
                        if not part.startswith(("iterations:", "real_time")))
        unit = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]
        found[name] = dict(run, real=run["real_time"] * unit, cpu=run["cpu_time"] * unit)
    return found


def main():
    builds = []
    for arg in sys.argv[1:] or ["now=build"]:
        label, _, folder = arg.partition("=")
        builds.append((label, os.path.abspath(folder)))
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    os.chdir(root)
    # /var/tmp is on the disk, not in memory, on the machines this runs on; the books and the
    # saved copies share it.
    work = tempfile.mkdtemp(prefix="tavrino-ratios-", dir="/var/tmp")
    server = None
    try:
        print(f"load before: {load()}")
        book = os.path.join(work, "century.dat")
        subprocess.run([os.path.join(builds[0][1], "bench", "tavrino_bench"), "--write-book", book],
                       check=True)
        size = os.path.getsize(book)
        print(f"book: {size} bytes")
        server, display = start_xvfb()
        with_book = profile_home(work, "home-book", book)
        without = profile_home(work, "home-none", None)

        rows = {}

        def put(name, label, value):
            rows.setdefault(name, {})[label] = value

        # The planner's first window, the builds and the two profiles taking turns.
        starts = {(label, kind): [] for label, _ in builds for kind in ("none", "book")}
        for _ in range(ROUNDS):
            for label, b in builds:
                starts[(label, "none")].append(first_window(b, without, display))
                starts[(label, "book")].append(first_window(b, with_book, display))
        for label, _ in builds:
            none, full = starts[(label, "none")], starts[(label, "book")]
            wall_none = statistics.median(s[0] for s in none)
            wall_book = statistics.median(s[0] for s in full)
            cpu_none = statistics.median(s[1] for s in none)
            cpu_book = statistics.median(s[1] for s in full)
            put("first window book / none, wall", label,
                f"{wall_book / wall_none:.2f} x ({wall_book:.0f} / {wall_none:.0f} ms)")
            put("first window book / none, CPU", label,
                f"{cpu_book / cpu_none:.2f} x ({cpu_book:.0f} / {cpu_none:.0f} ms)")
            peak_book = max(s[2] for s in full) / 1024
            peak_none = max(s[2] for s in none) / 1024
            put("peak memory, planner with book", label,
                f"{peak_book:.1f} MiB ({peak_book - peak_none:+.1f} over none)")

        # The tool against cat, all in one hyperfine run.
        timed = hyperfine([f"cat {book}"] + [f"{b}/tools/book/tavrino-book check {book}"
                                             for _, b in builds], work)
        cat_wall, cat_cpu = timed[0]
        for (label, b), (wall, cpu) in zip(builds, timed[1:]):
            put("check / cat, wall", label, f"{wall / cat_wall:.1f} x ({wall * 1e3:.1f} / {cat_wall * 1e3:.1f} ms)")
            put("check / cat, CPU", label, f"{cpu / cat_cpu:.1f} x ({cpu * 1e3:.1f} / {cat_cpu * 1e3:.1f} ms)")
            put("peak memory, tool check", label,
                f"{peak_kib([f'{b}/tools/book/tavrino-book', 'check', book]) / 1024:.1f} MiB")

        # Saving, editing and selecting, from the Google benchmark.
        for label, b in builds:
            g = google_benchmark(b, work)
            plain = g["BM_PlainRead"]["real"]
            put("save / safe-write floor", label,
                f"{g['BM_Write']['real'] / g['BM_WriteFloor']['real']:.2f} x "
                f"({g['BM_Write']['real'] * 1e3:.1f} / {g['BM_WriteFloor']['real'] * 1e3:.1f} ms)")
            put("save, CPU", label, f"{g['BM_Write']['cpu'] * 1e3:.1f} ms")
            put("read (open) / plain read", label,
                f"{g['BM_Read']['real'] / plain:.1f} x ({g['BM_Read']['real'] * 1e3:.1f} ms)")
            key = g["BM_MemoKeystroke"]["cpu"]
            if "BM_ModelFloor" in g:
                floor_ = g["BM_ModelFloor"]["real"]
                put("read / the same days made without a file", label,
                    f"{g['BM_Read']['real'] / floor_:.2f} x ({floor_ * 1e3:.1f} ms)")
            put("memo keystroke", label, f"{key * 1e6:.2f} us CPU")
            if "BM_MemoKeystrokeOneDay" in g:
                one = g["BM_MemoKeystrokeOneDay"]["cpu"]
                put("  on the century / on a book of that day", label,
                    f"{key / one:.2f} x ({one * 1e6:.2f} us CPU)")
            if "BM_MemoKeystrokeJournaled" in g:
                put("  with the journal", label,
                    f"{g['BM_MemoKeystrokeJournaled']['cpu'] / key:.3f} x")
            if "BM_JournalRecord" in g:
                part = g["BM_JournalRecord"]["cpu"]
                put("  journal part alone", label,
                    f"{part * 1e6:.2f} us CPU: {(key + part) / key:.3f} x the keystroke")
            if "BM_ImportDaily/3000" in g and "BM_ImportDaily/30000" in g:
                small = g["BM_ImportDaily/3000"]["cpu"]
                large = g["BM_ImportDaily/30000"]["cpu"]
                put("import of 30000 days / of 3000", label,
                    f"{large / small:.2f} x ({large * 1e3:.0f} / {small * 1e3:.0f} ms CPU)")
            for i, day in enumerate(("first", "middle", "last", "absent")):
                put(f"SelectDay {day}", label, f"{g[f'BM_SelectDay/{i}']['cpu'] * 1e6:.2f} us CPU")
            m = g["BM_PeakMemoryOfRead"]
            put("peak memory, loading alone", label,
                f"{m['peak_rss_bytes'] / 2**20:.1f} MiB ({m['peak_rss_over_file']:.2f} x file)")
            other = m["heap_held_MiB"] - m["days_MiB"] - m["list_MiB"] - m["texts_MiB"]
            put("  made of", label,
                f"days {m['days_MiB']:.1f}, list and index {m['list_MiB']:.1f}, texts {m['texts_MiB']:.1f} "
                f"({m['texts_allocated']:.0f} of {m['strings']:.0f}), other heap {other:.1f}, "
                f"buffers+free pages {m['transient_MiB']:.1f}, "
                f"process without book {m['idle_peak_rss_bytes'] / 2**20:.1f}")

        # The small book: the planner's start with the worked example remembered.
        small = os.path.join(work, "small.dat")
        with open(small, "wb") as f:
            f.write(small_book())
        small_home = profile_home(work, "home-small", small)
        small_starts = {label: [] for label, _ in builds}
        for _ in range(ROUNDS):
            for label, b in builds:
                small_starts[label].append(first_window(b, small_home, display))
        for label, _ in builds:
            put("first window, small book", label,
                f"{statistics.median(s[0] for s in small_starts[label]):.0f} ms wall, "
                f"{statistics.median(s[1] for s in small_starts[label]):.0f} ms CPU")

        width = max(len(name) for name in rows) + 2
        print()
        for name, values in rows.items():
            print(f"{name:<{width}}" + " | ".join(f"{label}: {values.get(label, '-')}"
                                                  for label, _ in builds))
        print(f"\nload after: {load()}")
    finally:
        if server:
            server.kill()
            server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
