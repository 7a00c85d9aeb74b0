#!/usr/bin/python3
"""Times zelpan-cli beside tcpdump and tshark on the benchmark captures, in one run.

usage: bench_peers.py ZELPAN_CLI CAPTURE_1M CAPTURE_100K [RUNS]

Each command runs RUNS times (default 3) with its output to /dev/null (the text
export to a scratch file); the best wall time and the peak memory of that run
are printed. A run is stopped after 120 seconds. A peer tool that is not
installed is reported and skipped.
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time


LIMIT = 120  # seconds a run may take before it is stopped and reported as such


def measure(cmd, runs):
    best = None
    for _ in range(runs):
        # A fresh child per run, so its peak memory is its own.
        probe = [sys.executable, "-c",
                 "import resource,subprocess,sys,time\n"
                 "t=time.monotonic()\n"
                 f"r=subprocess.run(sys.argv[1:],stdout=subprocess.DEVNULL,stderr=subprocess.DEVNULL,timeout={LIMIT})\n"
                 "e=time.monotonic()-t\n"
                 "m=resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss\n"
                 "print(r.returncode,e,m)"] + cmd
        done = subprocess.run(probe, capture_output=True, text=True)
        if done.returncode != 0:
            return None, f"stopped after {LIMIT} s" if "TimeoutExpired" in done.stderr else done.stderr.strip()[-200:]
        out = done.stdout.split()
        code, seconds, kib = int(out[0]), float(out[1]), int(out[2])
        if code != 0:
            return None, f"exit status {code}"
        if best is None or seconds < best[0]:
            best = (seconds, kib)
    return best, ""


def main():
    if len(sys.argv) < 4:
        print(__doc__.strip(), file=sys.stderr)
        return 64
    cli, big, small = sys.argv[1:4]
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    scratch = tempfile.mkdtemp(prefix="zelpan_bench_")
    export = os.path.join(scratch, "export.txt")
    tshark = shutil.which("tshark")
    tcpdump = shutil.which("tcpdump")
    syn = "tcp[13] & 0x02 != 0"
    rows = [
        ("summary 1M", "zelpan-cli summary", [cli, "summary", big]),
        ("summary 1M", "tcpdump -nn -r", [tcpdump, "-nn", "-r", big] if tcpdump else None),
        ("summary 1M", "tshark -r (TCP analysis off)",
         [tshark, "-n", "-r", big, "-o", "tcp.analyze_sequence_numbers:FALSE"] if tshark else None),
        ("export-text 100k", "zelpan-cli export-text", [cli, "export-text", small, export]),
        ("export-text 100k", "tshark -V", [tshark, "-n", "-V", "-r", small] if tshark else None),
        ("detail 100k", "zelpan-cli detail", [cli, "detail", small]),
        ("find SYN 1M", "zelpan-cli find", [cli, "find", big, syn]),
        ("find SYN 1M", "tcpdump BPF", [tcpdump, "-nn", "-r", big, syn] if tcpdump else None),
        # With its TCP sequence analysis on, tshark's display filter runs for minutes.
        ("find SYN 1M", "tshark -Y (TCP analysis off)",
         [tshark, "-n", "-r", big, "-Y", "tcp.flags.syn == 1", "-o", "tcp.analyze_sequence_numbers:FALSE"]
         if tshark else None),
    ]
    size = os.path.getsize(big)
    print(f"{big}: {size / 1e6:.1f} MB; {small}: {os.path.getsize(small) / 1e6:.1f} MB; best of {runs}")
    print(f"{'work':18} {'program':32} {'seconds':>8} {'peak MB':>8}")
    for work, name, cmd in rows:
        if cmd is None:
            print(f"{work:18} {name:32} {'not installed':>17}")
            continue
        result, why = measure(cmd, runs)
        if result is None:
            print(f"{work:18} {name:32} failed: {why}")
            continue
        seconds, kib = result
        print(f"{work:18} {name:32} {seconds:8.2f} {kib / 1024:8.0f}")
    shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
