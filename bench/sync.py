#!/usr/bin/python3
"""The speed of `tavrino-book sync` against Debian's vdirsyncer, side by side in one run.

    bench/sync.py [BUILD_DIR]        (default: build; needs tools/book/tavrino-book in it)

A local Radicale (python3-radicale) is started on a free port of 127.0.0.1 with a password file
and stopped by its process id at the end. A busy book of a year (about 2,000 events: five to
seven rows a day, a heading on Sundays, a memo on the first of each month) is made with
`tavrino-book build`. Each round, on a fresh calendar:
  - ours up:        the book to the empty calendar (the first sync, --create);
  - vdirsyncer down: the same calendar to an empty folder (`vdirsyncer discover` then `sync`,
                    with a configuration of the benchmark's own in a temporary folder);
  - ours down:      the same calendar into an empty book (the first sync the other way);
  - vdirsyncer up:  that folder to another empty calendar;
  - ours, no change, and vdirsyncer, no change: each side synced again with nothing changed.
Wall times are medians of the rounds (TAVRINO_SYNC_ROUNDS, default 3). The requests our no-change
sync makes are counted from Radicale's log. Printed last: the ratios ours / vdirsyncer.
"""

import base64
import datetime
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

ROUNDS = int(os.environ.get("TAVRINO_SYNC_ROUNDS", "3"))
USER, PASSWORD = "alice", "secret"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def busy_year(first):
    days = []
    for n in range(365):
        day = first + datetime.timedelta(days=n)
        rows = [
            {"time": "9", "plan": f"朝会 {n}"},
            {"time": "10:30", "plan": f"打ち合わせ {n}", "detail": "会議室B\r\n資料を持参"},
            {"time": "12", "plan": "昼食"},
            {"time": "14", "plan": f"作業 {n}"},
        ]
        if n % 2 == 0:
            rows.append({"time": "16", "plan": f"来客 {n}", "detail": "受付で名前を"})
        if n % 3 == 0:
            rows.append({"time": "朝", "plan": "ジョギング"})
        if day.weekday() < 5:
            rows.append({"time": "18:30", "plan": "帰宅"})
        entry = {"day": day.isoformat(), "rows": rows}
        if day.weekday() == 6:
            entry["heading"] = f"日曜 {n}"
        if day.day == 1:
            entry["memo"] = f"{day.month}月の目標\r\n早寝早起き\r\n"
        days.append(entry)
    return {"days": days}


class Radicale:
    def __init__(self, root):
        self.root = root
        self.port = free_port()
        with open(os.path.join(root, "users"), "w") as f:
            f.write(f"{USER}:{PASSWORD}\n")
        self.config = os.path.join(root, "radicale.ini")
        with open(self.config, "w") as f:
            f.write(f"""[server]
hosts = 127.0.0.1:{self.port}
[auth]
type = htpasswd
htpasswd_filename = {root}/users
htpasswd_encryption = plain
delay = 0
[storage]
filesystem_folder = {root}/collections
[rights]
type = owner_only
[logging]
level = info
""")
        self.log = os.path.join(root, "radicale.log")
        self.process = subprocess.Popen(
            ["/usr/bin/python3", "-m", "radicale", "--config", self.config],
            stdout=open(self.log, "w"), stderr=subprocess.STDOUT)
        deadline = time.time() + 30
        while time.time() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return
            except OSError:
                time.sleep(0.1)
        raise RuntimeError("Radicale did not start")

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=30)

    def url(self, name):
        return f"http://127.0.0.1:{self.port}/{USER}/{name}/"

    def make_calendar(self, name):
        body = ('<?xml version="1.0"?><C:mkcalendar xmlns:D="DAV:" '
                'xmlns:C="urn:ietf:params:xml:ns:caldav"><D:set><D:prop><D:displayname>'
                f'{name}</D:displayname></D:prop></D:set></C:mkcalendar>').encode()
        request = urllib.request.Request(self.url(name), data=body, method="MKCALENDAR")
        request.add_header("Content-Type", "application/xml")
        request.add_header("Authorization", "Basic " + base64.b64encode(
            f"{USER}:{PASSWORD}".encode()).decode())
        urllib.request.urlopen(request).read()

    def requests(self):
        with open(self.log) as f:
            return sum(1 for line in f if "] PROPFIND request for" in line
                       or "] REPORT request for" in line or "] GET request for" in line
                       or "] PUT request for" in line or "] DELETE request for" in line
                       or "] MKCALENDAR request for" in line)

    def items(self, name):
        folder = os.path.join(self.root, "collections", "collection-root", USER, name)
        return sum(1 for f in os.listdir(folder) if f.endswith(".ics"))


class Timer:
    def __init__(self):
        self.times = {}

    def run(self, label, args, env=None, expect=(0,)):
        start = time.perf_counter()
        done = subprocess.run(args, env=env, capture_output=True, text=True)
        elapsed = time.perf_counter() - start
        if done.returncode not in expect:
            sys.exit(f"{label}: exit {done.returncode}\n{done.stdout[-2000:]}\n"
                     f"{done.stderr[-2000:]}")
        self.times.setdefault(label, []).append(elapsed)
        return done


def vdirsyncer_config(folder, url, local):
    path = os.path.join(folder, "config")
    with open(path, "w") as f:
        f.write(f"""[general]
status_path = "{folder}/status/"

[pair book]
a = "book_remote"
b = "book_local"
collections = null
conflict_resolution = "a wins"

[storage book_remote]
type = "caldav"
url = "{url}"
username = "{USER}"
password = "{PASSWORD}"

[storage book_local]
type = "filesystem"
path = "{local}"
fileext = ".ics"
""")
    return path


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    tool = os.path.abspath(os.path.join(build, "tools", "book", "tavrino-book"))
    if not os.path.exists(tool):
        sys.exit(f"no {tool}: build the target tavrino-book first")
    work = tempfile.mkdtemp(prefix="tavrino-sync-bench-")
    server = Radicale(work)
    timer = Timer()
    counts = []
    try:
        with open(os.path.join(work, "year.json"), "w") as f:
            json.dump(busy_year(datetime.date.today()), f, ensure_ascii=False)
        events = None
        for r in range(ROUNDS):
            home = os.path.join(work, f"home{r}")
            os.makedirs(home)
            env = dict(os.environ, TZ="Asia/Tokyo", XDG_DATA_HOME=f"{home}/data",
                       XDG_CONFIG_HOME=f"{home}/config", TAVRINO_CALDAV_PASSWORD=PASSWORD)
            book = os.path.join(home, f"year{r}.dat")
            subprocess.run([tool, "build", os.path.join(work, "year.json"), book], check=True)
            name = f"year{r}"
            timer.run("ours up", [tool, "sync", "--url", server.url(name), "--user", USER,
                                  "--create", book], env)
            events = server.items(name)

            # vdirsyncer takes the same calendar down to an empty folder.
            vdir = os.path.join(home, "vdir")
            local = os.path.join(vdir, "folder")
            os.makedirs(local)
            config = vdirsyncer_config(vdir, server.url(name), local)
            venv = dict(os.environ, VDIRSYNCER_CONFIG=config)
            timer.run("vdirsyncer down", ["sh", "-c", "vdirsyncer discover && vdirsyncer sync"],
                      venv)
            if len(os.listdir(local)) != events:
                sys.exit(f"vdirsyncer brought {len(os.listdir(local))} of {events} events")

            # Our first sync the other way: the calendar into an empty book.
            down = os.path.join(home, f"down{r}.dat")
            timer.run("ours down", [tool, "sync", "--url", server.url(name), "--user", USER,
                                    down], env)

            # vdirsyncer takes that folder up to another empty calendar.
            up = f"up{r}"
            server.make_calendar(up)
            vup = os.path.join(home, "vup")
            os.makedirs(vup)
            uconfig = vdirsyncer_config(vup, server.url(up), local)
            uenv = dict(os.environ, VDIRSYNCER_CONFIG=uconfig)
            timer.run("vdirsyncer up", ["sh", "-c", "vdirsyncer discover && vdirsyncer sync"],
                      uenv)
            if server.items(up) != events:
                sys.exit(f"vdirsyncer took {server.items(up)} of {events} events up")

            # Nothing changed on either side.
            before = server.requests()
            done = timer.run("ours no change", [tool, "sync", book], env)
            counts.append(server.requests() - before)
            if done.stdout:
                sys.exit(f"a sync with nothing changed changed something:\n{done.stdout[:2000]}")
            timer.run("vdirsyncer no change", ["vdirsyncer", "sync"], venv)
    finally:
        server.stop()
        shutil.rmtree(work, ignore_errors=True)

    print(f"{events} events in a year, {ROUNDS} rounds, median wall seconds:")
    for label, times in timer.times.items():
        print(f"  {label:22} {statistics.median(times):8.3f}   "
              f"({', '.join(f'{t:.3f}' for t in times)})")
    median = {label: statistics.median(times) for label, times in timer.times.items()}
    print(f"requests of our no-change syncs: {counts}")
    print("ratios (ours / vdirsyncer; goals: first sync <= 1, no change <= 0.1):")
    print(f"  first sync, up:   {median['ours up'] / median['vdirsyncer up']:.3f}")
    print(f"  first sync, down: {median['ours down'] / median['vdirsyncer down']:.3f}")
    print(f"  first sync, ours up / vdirsyncer down: "
          f"{median['ours up'] / median['vdirsyncer down']:.3f}")
    print(f"  no change:        {median['ours no change'] / median['vdirsyncer no change']:.3f}")


if __name__ == "__main__":
    main()
