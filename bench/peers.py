"""Whole-process comparison: the same job printed to one loopback TCP sink by `orvik print` and by two JavaScript
ESC/POS libraries, each run many times; median wall time and the bytes the sink received."""
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
WIDTH, HEIGHT = 576, 2000
LINES = ["ORVIK CAFE", "12 Harbour Street", "Thank you!"]
RUNS = 10


class Sink:
    """Reads and counts what each client sends on 127.0.0.1 until it hangs up; one client at a time."""

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
        count = 0
        with client:
            while True:
                try:
                    chunk = client.recv(1 << 20)
                except ConnectionResetError:
                    break
                if not chunk:
                    break
                count += len(chunk)
        with self.done:
            self.finished.append(count)
            self.done.notify_all()

    def received(self, connection, timeout=10):
        """Bytes of the connection with this index once it has ended (None if it does not end in time)."""
        with self.done:
            if not self.done.wait_for(lambda: len(self.finished) > connection, timeout):
                return None
            return self.finished[connection]

    def close(self):
        self.listener.close()


def write_photo(path):
    """An opaque RGB PNG that looks like a photo to a ditherer: smooth gradients plus a little noise."""
    rng = random.Random(20261207)
    rows = []
    for y in range(HEIGHT):
        fy = y / HEIGHT
        row = bytearray(b"\0")  # filter type: none
        for x in range(WIDTH):
            fx = x / WIDTH
            base = 128 + 100 * (fx - 0.5) + 60 * ((fx - 0.5) ** 2 + (fy - 0.5) ** 2 - 0.2) * 4
            n = rng.randint(-12, 12)
            row += bytes(max(0, min(255, int(base + n + d))) for d in (0, -10 * fy, 10 * fy))
        rows.append(bytes(row))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b"")
    path.write_bytes(png)


def install_peers():
    if not (PEERS / "node_modules" / "node-thermal-printer").is_dir() or \
       not (PEERS / "node_modules" / "escpos-network").is_dir():
        subprocess.run(["npm", "ci", "--no-audit", "--no-fund"], cwd=PEERS, check=True)


def measure(sink, command):
    """Median wall time of RUNS whole-process runs and the bytes the sink got per run (or the failure)."""
    times, sizes = [], set()
    for _ in range(RUNS):
        before = len(sink.finished)
        start = time.perf_counter()
        run = subprocess.run(command, capture_output=True, text=True)
        elapsed = time.perf_counter() - start
        if run.returncode != 0:
            return None, None, (run.stderr.strip().splitlines() or ["exit %d" % run.returncode])[-1]
        received = sink.received(before)
        if received is None:
            return None, None, "the sink saw no connection end"
        sizes.add(received)
        times.append(elapsed)
    return statistics.median(times), sorted(sizes), None


def table(orvik):
    """Runs every side against one sink and returns the markdown table."""
    install_peers()
    with tempfile.TemporaryDirectory() as work:
        photo = pathlib.Path(work) / "photo.png"
        write_photo(photo)
        sink = Sink()
        target = ["127.0.0.1", str(sink.port)]
        texts = [arg for line in LINES for arg in ("--text", line)]
        sides = [
            ("orvik print (C++)",
             [orvik, "print", "--to", "tcp://%s:%s" % tuple(target), "--image", str(photo), "--width", str(WIDTH), *texts, "--cut"]),
            ("node-thermal-printer 4.6.1",
             ["node", str(PEERS / "thermal-printer-job.js"), str(photo), *target, *LINES]),
            ("escpos 3.0.0-alpha.6 + escpos-network 3.0.0-alpha.5",
             ["node", str(PEERS / "escpos-job.js"), str(photo), *target, *LINES]),
        ]
        results = [(name, *measure(sink, command)) for name, command in sides]
        sink.close()
    ours = results[0][1]
    rows = ["| program | median wall time (ms) | bytes received | time vs ours | note |", "|---|---|---|---|---|"]
    for name, seconds, sizes, failure in results:
        if failure:
            rows.append(f"| {name} | — | — | — | failed: {failure} |")
            continue
        ratio = seconds / ours if ours else float("nan")
        note = ""
        if name.startswith("node-thermal-printer"):
            note = f"target ≥ 20x: {'met' if ratio >= 20 else 'NOT met'}"
        shown = "/".join(str(s) for s in sizes)
        rows.append(f"| {name} | {seconds * 1000:.1f} | {shown} | {ratio:.1f}x | {note} |")
    return (f"Whole process, median of {RUNS} runs; job: {WIDTH}x{HEIGHT} photo-like PNG, three text lines, a cut, "
            "to a loopback TCP sink.\n\n" + "\n".join(rows) + "\n\n" + NOTES)


NOTES = """- orvik dithers the picture (Floyd-Steinberg, its default) and sends GS v 0 raster bands; both JavaScript
  libraries only threshold each pixel at mid-grey.
- node-thermal-printer: `printImage(path)` (GS v 0 raster) and `execute()`, which writes the whole job at once.
- escpos: its README shows `image(path, density)`, but the code accepts only an `escpos.Image` and throws a TypeError
  for a path, so the picture is loaded with `escpos.Image.load` first and printed with `image(picture, 'd24')`
  (ESC * column bands). That call starts a 200 ms timer per band without waiting for it, so the process cannot exit
  until they have run: about 200 ms of its time is idle."""
