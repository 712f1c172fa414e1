"""Whole-process comparison: the same job printed to one loopback TCP sink by `orvik print` and by two JavaScript
ESC/POS libraries, and the same bytes by a floor program: the least code that makes and sends them."""
import pathlib
import random
import socket
import statistics
import struct
import subprocess
import tempfile
import threading
import time
import zlib

PEERS = pathlib.Path(__file__).parent / "peers"
WIDTH = 576
LINES = ["ORVIK CAFE", "12 Harbour Street", "Thank you!"]
RUNS = 7


class Sink:
    """Reads, counts and checksums what each client sends on 127.0.0.1 until it hangs up; one client at a time."""

    def __init__(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.finished = []  # bytes of every connection that has ended
        self.done = threading.Condition()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._drain, args=(client,), daemon=True).start()

    def _drain(self, client):
        count, crc = 0, 0
        with client:
            while True:
                try:
                    chunk = client.recv(1 << 20)
                except ConnectionResetError:
                    break
                if not chunk:
                    break
                count += len(chunk)
                crc = zlib.crc32(chunk, crc)
        with self.done:
            self.finished.append((count, crc))
            self.done.notify_all()

    def received(self, connection, timeout=10):
        """(length, CRC-32) of the connection with this index once it has ended (None if it does not end in time)."""
        with self.done:
            if not self.done.wait_for(lambda: len(self.finished) > connection, timeout):
                return None
            return self.finished[connection]

    def close(self):
        self.listener.close()


def write_photo(path, height, grey):
    """An opaque PNG, RGB or grey, that looks like a photo to a ditherer: smooth gradients plus a little noise."""
    rng = random.Random(20261207)
    rows = []
    for y in range(height):
        fy = y / height
        row = bytearray(b"\0")  # filter type: none
        for x in range(WIDTH):
            fx = x / WIDTH
            base = 128 + 100 * (fx - 0.5) + 60 * ((fx - 0.5) ** 2 + (fy - 0.5) ** 2 - 0.2) * 4
            n = rng.randint(-12, 12)
            shifts = (0,) if grey else (0, -10 * fy, 10 * fy)
            row += bytes(max(0, min(255, int(base + n + d))) for d in shifts)
        rows.append(bytes(row))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, height, 8, 0 if grey else 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b"")
    path.write_bytes(png)


def install_peers():
    if not (PEERS / "node_modules" / "node-thermal-printer").is_dir() or \
       not (PEERS / "node_modules" / "escpos-network").is_dir():
        subprocess.run(["npm", "ci", "--no-audit", "--no-fund"], cwd=PEERS, check=True)


def run_once(sink, command):
    """Wall time and the bytes the sink got for one whole-process run; or the failure."""
    before = len(sink.finished)
    start = time.perf_counter()
    run = subprocess.run(command, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    if run.returncode != 0:
        raise RuntimeError((run.stderr.strip().splitlines() or ["exit %d" % run.returncode])[-1])
    received = sink.received(before)
    if received is None:
        raise RuntimeError("the sink saw no connection end")
    return elapsed, received


def peak_kb(sink, command):
    """Peak resident KiB of one run, taken by GNU time: a child of this process would inherit its high-water mark."""
    before = len(sink.finished)
    run = subprocess.run(["/usr/bin/time", "-f", "%M", *command], capture_output=True, text=True, check=True)
    sink.received(before)
    return int(run.stderr.strip().splitlines()[-1])


def whole_process(command):
    start = time.perf_counter()
    subprocess.run(command, capture_output=True)
    return time.perf_counter() - start


def interleaved(sink, sides, runs):
    """Runs the sides in turn (A B C A B C ...) so load from elsewhere falls on all alike; each side's times and bytes,
    or its failure."""
    results = {name: {"times": [], "sizes": set(), "failure": None} for name, _ in sides}
    for _ in range(runs):
        for name, command in sides:
            r = results[name]
            if r["failure"]:
                continue
            try:
                elapsed, received = run_once(sink, command)
            except RuntimeError as failure:
                r["failure"] = str(failure)
                continue
            r["times"].append(elapsed)
            r["sizes"].add(received)
    return results


def paired_ratio(results, name, ours):
    """Median over runs of (that side's time / ours in the same round)."""
    a, b = results[name]["times"], results[ours]["times"]
    if not a or len(a) != len(b):
        return float("nan")
    return statistics.median(x / y for x, y in zip(a, b))


OURS, FLOOR, THERMAL, ESCPOS = ("orvik print (C++)", "floor (same bytes, least code)", "node-thermal-printer 4.6.1",
                                "escpos 3.0.0-alpha.6 + escpos-network 3.0.0-alpha.5")
HEIGHTS = (500, 2000, 8000)
# (picture, peer to beat, times faster at least) at 2000 rows; ours / floor at most FLOOR_LIMIT.
PEER_TARGETS = {"grey": 20, "rgb": 15}
FLOOR_LIMIT = 1.3
GROWTH_LIMIT = 0.10
RSS_LIMIT_KB = 8 * 1024


def table(orvik, floor):
    """Runs every side against one sink and returns the markdown tables."""
    install_peers()
    load_before = pathlib.Path("/proc/loadavg").read_text().split()[:3]
    rows = ["| picture | rows | ours (ms) | floor (ms) | ours / floor | node-thermal-printer (ms) | vs ours | "
            "escpos (ms) | vs ours | bytes received (ours/floor/thermal/escpos) |", "|---|---|---|---|---|---|---|---|---|---|"]
    verdicts, per_row, memory = [], {}, {}
    with tempfile.TemporaryDirectory() as work:
        sink = Sink()
        target = ["127.0.0.1", str(sink.port)]
        texts = [arg for line in LINES for arg in ("--text", line)]
        baseline = peak_kb(sink, [orvik, "print", "--to", "tcp://%s:%s" % tuple(target), *texts, "--cut"])
        for kind in ("grey", "rgb"):
            for height in HEIGHTS:
                photo = pathlib.Path(work) / f"{kind}-{height}.png"
                write_photo(photo, height, kind == "grey")
                ours = [orvik, "print", "--to", "tcp://%s:%s" % tuple(target), "--image", str(photo), "--width",
                        str(WIDTH), *texts, "--cut"]
                sides = [(OURS, ours),
                         (FLOOR, [floor, str(photo), *target, *LINES]),
                         (THERMAL, ["node", str(PEERS / "thermal-printer-job.js"), str(photo), *target, *LINES]),
                         (ESCPOS, ["node", str(PEERS / "escpos-job.js"), str(photo), *target, *LINES])]
                if height != 2000:
                    sides = sides[:2]  # the peers are compared on the usual job only; the sizes show our scaling
                results = interleaved(sink, sides, RUNS if height <= 2000 else max(3, RUNS // 2))
                def ms(name):
                    r = results.get(name)
                    if not r:
                        return "—"
                    return "failed: " + r["failure"] if r["failure"] else f"{statistics.median(r['times']) * 1000:.1f}"
                def ratio(name, over):
                    return f"{paired_ratio(results, name, over):.2f}" if name in results else "—"
                sizes = "/".join("/".join(str(length) for length, _ in sorted(results[n]["sizes"])) for n in results)
                if results[FLOOR]["sizes"] != results[OURS]["sizes"] or len(results[OURS]["sizes"]) != 1:
                    sizes += " (the floor's bytes differ from ours)"
                rows.append(f"| {kind} | {height} | {ms(OURS)} | {ms(FLOOR)} | {ratio(OURS, FLOOR)} | {ms(THERMAL)} "
                            f"| {ratio(THERMAL, OURS)}x | {ms(ESCPOS)} | {ratio(ESCPOS, OURS)}x | {sizes} |")
                if results[OURS]["times"]:
                    per_row[(kind, height)] = min(results[OURS]["times"]) / height
                    memory[(kind, height)] = peak_kb(sink, sides[0][1])
                if height == 2000:
                    over_floor = paired_ratio(results, OURS, FLOOR)
                    over_peer = paired_ratio(results, THERMAL, OURS)
                    verdicts.append(f"- {kind}: node-thermal-printer / ours {over_peer:.1f}x (target ≥ {PEER_TARGETS[kind]}x: "
                                    f"{'met' if over_peer >= PEER_TARGETS[kind] else 'NOT met'}); ours / floor "
                                    f"{over_floor:.2f} (target ≤ {FLOOR_LIMIT}: {'met' if over_floor <= FLOOR_LIMIT else 'NOT met'})")
        sink.close()
    load_after = pathlib.Path("/proc/loadavg").read_text().split()[:3]
    started, bare = (min(whole_process(command) for _ in range(RUNS * 3)) for command in ([orvik, "--version"], [floor]))
    verdicts.append(f"- start-up: `orvik --version` {started * 1000:.1f} ms, the floor doing nothing {bare * 1000:.1f} ms "
                    "(fastest runs): what loading our shared libraries costs every job")
    for kind in ("grey", "rgb"):
        if (kind, HEIGHTS[0]) in per_row and (kind, HEIGHTS[-1]) in per_row:
            growth = per_row[(kind, HEIGHTS[-1])] / per_row[(kind, HEIGHTS[0])] - 1
            verdicts.append(f"- {kind}: ours per row, fastest run, {HEIGHTS[0]} rows {per_row[(kind, HEIGHTS[0])] * 1e6:.2f} µs, "
                            f"{HEIGHTS[-1]} rows {per_row[(kind, HEIGHTS[-1])] * 1e6:.2f} µs: {growth * 100:+.1f}% "
                            f"(target ≤ +{GROWTH_LIMIT * 100:.0f}%: {'met' if growth <= GROWTH_LIMIT else 'NOT met'})")
    if ("rgb", HEIGHTS[-1]) in memory:
        grown = memory[("rgb", HEIGHTS[-1])] - baseline
        verdicts.append(f"- peak resident memory printing the {WIDTH}x{HEIGHTS[-1]} RGB photo: {memory[('rgb', HEIGHTS[-1])]} KiB, "
                        f"{grown} KiB above a text-only job's {baseline} KiB (target ≤ {RSS_LIMIT_KB} KiB: "
                        f"{'met' if grown <= RSS_LIMIT_KB else 'NOT met'})")
    return (f"Whole process, run in turn (ours, floor, peers, ours, ...) {RUNS} rounds ({max(3, RUNS // 2)} at "
            f"{HEIGHTS[-1]} rows); times are medians, ratios the median of each round's pair. Job: a {WIDTH}-dot "
            "photo-like PNG, three text lines, a cut, to a loopback TCP sink. Load average (1, 5, 15 min) before: "
            f"{' '.join(load_before)}, after: {' '.join(load_after)}.\n\n" + "\n".join(rows) + "\n\n" +
            "\n".join(verdicts) + "\n\n" + NOTES)


NOTES = """- The floor (bench/floor.cpp) makes the same bytes with the least code, checked byte for byte on every run: it
  reads the PNG whole, inflates it in one call with the same inflater (ISA-L), dithers with a plain
  Floyd-Steinberg loop and writes the job; it handles only what these pictures are (8-bit grey or RGB, unfiltered,
  at their own width). Ours streams the rows from file to dots instead, so it faults in fewer fresh pages.
- orvik dithers the picture (Floyd-Steinberg, its default) and sends GS v 0 raster bands; both JavaScript
  libraries only threshold each pixel at mid-grey.
- node-thermal-printer: `printImage(path)` (GS v 0 raster) and `execute()`, which writes the whole job at once.
- escpos: its README shows `image(path, density)`, but the code accepts only an `escpos.Image` and throws a TypeError
  for a path, so the picture is loaded with `escpos.Image.load` first and printed with `image(picture, 'd24')`
  (ESC * column bands). That call starts a 200 ms timer per band without waiting for it, so the process cannot exit
  until they have run: about 200 ms of its time is idle."""
