#!/usr/bin/python3
"""Runs the in-process benchmarks once and prints each target as a ratio measured in that one run."""
import json
import pathlib
import subprocess
import sys

# (what is compared, ours, baseline, target ratio)
PAIRS = [
    ("raster job over TCP vs plain send() loop", "SdkRasterOverTcp", "PlainSendLoop", 1.1),
]


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else "build/bench/orvik_bench"
    out = subprocess.run([binary, "--benchmark_format=json", "--benchmark_repetitions=5",
                          "--benchmark_report_aggregates_only=true"],
                         check=True, capture_output=True, text=True).stdout
    medians = {}
    for run in json.loads(out)["benchmarks"]:
        if run.get("aggregate_name") == "median":
            medians[run["run_name"]] = run["real_time"]
    rows = ["| comparison | size | ours (µs) | baseline (µs) | ratio | target | met |", "|---|---|---|---|---|---|---|"]
    for title, ours, base, target in PAIRS:
        for size in ("1", "4", "16"):
            a, b = medians.get(f"{ours}/{size}"), medians.get(f"{base}/{size}")
            if a is None or b is None:
                continue
            ratio = a / b
            rows.append(f"| {title} | x{size} | {a:.0f} | {b:.0f} | {ratio:.2f} | ≤ {target} | {'yes' if ratio <= target else 'NO'} |")
    table = "\n".join(rows)
    print(table)
    results = pathlib.Path(__file__).parent / "results" / "latest.md"
    results.write_text("# Benchmark ratios (one run, medians of 5)\n\n" + table + "\n")


if __name__ == "__main__":
    main()
