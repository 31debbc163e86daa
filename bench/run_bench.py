#!/usr/bin/env python3
"""Measures brivel's throughput and memory against the naive converter.

Generates deterministic camera lists in WORK_DIR, checks that brivel's output
equals the naive converter's on each, then times, alternating, on the same
file with output to /dev/null and input through a pipe from cat:
  brivel with each byte-lane kernel its processor runs (BRIVEL_KERNEL), the
  best first; each program given with --other LABEL=PATH (another build of
  brivel, such as an earlier version); the naive converter (fgets, sscanf,
  printf) and cat itself (the floor); with --check, brivel-check (its findings
  to /dev/null too),
and brivel once more with the file itself as its standard input.
Prints for each the median input MB/s over the elapsed time, and over the CPU
time of the converting process alone (which other work on the machine disturbs
less), and the ratios of brivel to the naive converter; then brivel's peak
resident memory on a small input, a large input and a single huge line without
a line feed. Deletes the generated files.

Usage: run_bench.py --brivel B [--other LABEL=PATH]... [--check C] --naive N --peak-rss P
                    --work-dir D [--smoke] [--runs R]

--smoke runs on tiny inputs, once each: it only keeps the benchmark working.
"""
import argparse
import os
import random
import re
import statistics
import subprocess
import sys
import time

MB = 1000 * 1000
MIB = 1024 * 1024
KIB = 1024


# ---- inputs -----------------------------------------------------------------
# Each generator writes lines until the file holds at least `size` bytes. Fields
# are drawn from pools of formatted text with Random.choices, which is fast
# enough to write 100 MB in a few seconds.

LETTERS = "abcdefghijklmnopqrstuvwxyz"
WORDS = ["gate", "dock", "crane", "tower", "yard", "north", "south", "flyover", "pier", "cab",
         "lighthouse", "bridge", "road", "hill", "top", "low", "west", "east", "b", "c"]


def write_lines(path, size, make_batch):
    rng = random.Random(20261208)
    written = 0
    with open(path, "wb") as f:
        while written < size:
            batch = make_batch(rng)
            f.write(batch)
            written += len(batch)


def camera_batch(rng, count=20000):
    """About 80% camera lines of about 50 bytes (70% of them with fov), 15% comments, 5% blank."""
    names = ["%s%s%d" % (a, b, n) for a in WORDS for b in ("", " ", "_") for n in range(10)]
    coordinate = ["%d" % v for v in range(-1024, 1025)]
    pitch = ["%d" % v for v in range(-90, 91)]
    yaw = ["%d" % v for v in range(0, 360)]
    roll = ["%d" % v for v in range(-10, 11)] + ["0"] * 40
    fov = [" fov=%d" % v for v in range(50, 111)]
    kinds = rng.choices(("camera", "comment", "blank"), weights=(80, 15, 5), k=count)
    n = rng.choices(names, k=count)
    x, y, z = (rng.choices(coordinate, k=count) for _ in range(3))
    p, w, r = rng.choices(pitch, k=count), rng.choices(yaw, k=count), rng.choices(roll, k=count)
    f = [v if rng.random() < 0.7 else "" for v in rng.choices(fov, k=count)]
    comments = comment_lines(rng, count)
    lines = []
    for i, kind in enumerate(kinds):
        if kind == "camera":
            lines.append('"%s" x=%s y=%s z=%s pitch=%s yaw=%s roll=%s%s\n'
                         % (n[i], x[i], y[i], z[i], p[i], w[i], r[i], f[i]))
        elif kind == "comment":
            lines.append(comments[i])
        else:
            lines.append("\n")
    return "".join(lines).encode()


def comment_lines(rng, count):
    words = rng.choices(WORDS, k=count * 8)
    lengths = rng.choices(range(1, 9), k=count)
    return ["# " + " ".join(words[i * 8:i * 8 + lengths[i]]) + "\n" for i in range(count)]


def comment_batch(rng, count=20000):
    """Every line rejected: comments only."""
    return "".join(comment_lines(rng, count)).encode()


def long_line_batch(rng, count=500):
    """Lines of 2-3 KB: a camera line with a long name, then trailing text, read in pieces."""
    lines = []
    for _ in range(count):
        name = "".join(rng.choices(LETTERS + "  ", k=rng.randrange(100, 950)))
        line = '"%s" x=%d y=%d z=%d pitch=%d yaw=%d roll=%d' % (
            name, rng.randrange(-2048, 2049), rng.randrange(-2048, 2049),
            rng.randrange(-2048, 2049), rng.randrange(-90, 91), rng.randrange(360),
            rng.randrange(-10, 11))
        if rng.random() < 0.7:
            line += " fov=%d" % rng.randrange(50, 111)
        target = rng.randrange(2000, 3001)
        while len(line) < target:
            line += " " + rng.choice(WORDS + ['"note"', "x=1", "\t"])
        lines.append(line[:target] + "\n")
    return "".join(lines).encode()


def huge_line_unit():
    """1023 bytes: a camera line padded with spaces, so every piece of a line made of
    these units, with no line feed, is a camera record."""
    line = b'"' + b"n" * 900 + b'" x=1 y=-2 z=3 pitch=4 yaw=5 roll=6 fov=7'
    return line.ljust(1023)


# ---- running ----------------------------------------------------------------

KERNELS = ("avx2", "sse2", "simd128", "portable")  # the best first


def kernel_env(kernel):
    """The environment that runs brivel with `kernel` (None: the one it picks)."""
    return None if kernel is None else dict(os.environ, BRIVEL_KERNEL=kernel)


def kernels_of(brivel):
    """The kernels this processor runs brivel with, the best first."""
    return [k for k in KERNELS
            if subprocess.run([brivel], stdin=subprocess.DEVNULL, env=kernel_env(k),
                              capture_output=True).returncode == 0]


def run_once(command, path, through_pipe, env=None):
    """Runs `cat path | command > /dev/null` (or `command < path > /dev/null`);
    returns the elapsed time and the CPU time of `command`'s process."""
    with open(path, "rb") as source:
        start = time.perf_counter()
        if through_pipe:
            cat = subprocess.Popen(["cat", path], stdout=subprocess.PIPE)
            proc = subprocess.Popen(command, stdin=cat.stdout, stdout=subprocess.DEVNULL, env=env)
            cat.stdout.close()
        else:
            proc = subprocess.Popen(command, stdin=source, stdout=subprocess.DEVNULL, env=env)
        _, status, usage = os.wait4(proc.pid, 0)
        if through_pipe:
            cat.wait()
        elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit("%s failed on %s" % (command[0], path))
    return elapsed, usage.ru_utime + usage.ru_stime


def check_same_output(programs, path, work_dir):
    """Each of the `programs` ((label, path, environment) triples) on `path`;
    exits with the first difference from the last one's output. Returns the
    output's size."""
    outputs = []
    for label, program, env in programs:
        out_path = os.path.join(work_dir, "out-" + label.replace(" ", "-"))
        with open(path, "rb") as source, open(out_path, "wb") as out:
            if subprocess.run([program], stdin=source, stdout=out, env=env).returncode != 0:
                sys.exit("%s failed on %s" % (label, path))
        outputs.append((label, out_path))
    reference_label, reference = outputs[-1]
    for label, out_path in outputs[:-1]:
        size = first_difference(out_path, reference)
        if isinstance(size, tuple):
            i, x, y = size
            sys.exit("outputs differ on %s at byte %d:\n%s: %r\n%s: %r"
                     % (path, i, label, x, reference_label, y))
    for _, out_path in outputs:
        os.remove(out_path)
    return size


def first_difference(path_a, path_b):
    """The size of the two files if they are the same, else (offset, the bytes
    of each around it)."""
    with open(path_a, "rb") as a, open(path_b, "rb") as b:
        offset = 0
        while True:
            x, y = a.read(MIB), b.read(MIB)
            if x != y:
                i = next((k for k in range(min(len(x), len(y))) if x[k] != y[k]), min(len(x), len(y)))
                return offset + i, x[max(0, i - 60):i + 60], y[max(0, i - 60):i + 60]
            if not x:
                return offset
            offset += len(x)


def peak_rss_kib(peak_rss, brivel, feed):
    """brivel's peak resident memory (KiB) while `feed(pipe)` writes its input."""
    # The kernel maps a program's code 64 KiB around each page it runs, as far
    # as the page cache holds the file: read it whole first, or the figure
    # changes with how much of it another program's work has evicted.
    with open(brivel, "rb") as f:
        while f.read(MIB):
            pass
    proc = subprocess.Popen([peak_rss, brivel], stdin=subprocess.PIPE,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    feed(proc.stdin)
    proc.stdin.close()
    report = proc.stderr.read().decode()
    if proc.wait() != 0:
        sys.exit("brivel failed while measuring memory: " + report)
    return int(re.search(r"peak_rss_kib=(\d+)", report).group(1))


def feed_file(path, times=1):
    def feed(pipe):
        for _ in range(times):
            with open(path, "rb") as f:
                while chunk := f.read(MIB):
                    pipe.write(chunk)
    return feed


def feed_huge_line(size):
    chunk = huge_line_unit() * 1024
    def feed(pipe):
        left = size
        while left > 0:
            pipe.write(chunk[:left])
            left -= len(chunk)
    return feed


# ---- report -----------------------------------------------------------------

def megabytes(n):
    return "%g MB" % (n / MB) if n >= MB else "%g KB" % (n / 1000)


def time_converters(brivel, kernels, others, naive, path, runs, check=None):
    """For each command over `runs` alternating runs: the median input MB/s over
    the elapsed time and over the CPU time, and the spread of the elapsed times."""
    commands = {
        **{"brivel " + k: ([brivel], True, kernel_env(k)) for k in kernels},
        **{label: ([program], True, None) for label, program in others},
        # Status 1 is brivel-check's for "findings", which some lists have.
        **({"brivel-check": (["sh", "-c", '"$0"; [ $? -le 1 ]', check], True, None)} if check else {}),
        "naive": ([naive], True, None),
        "cat": (["cat"], True, None),
        "brivel < file": ([brivel], False, None),
    }
    times = {k: [] for k in commands}
    for _ in range(runs):
        for k, (command, through_pipe, env) in commands.items():
            times[k].append(run_once(command, path, through_pipe, env))
    size = os.path.getsize(path)
    result = {}
    for k, v in times.items():
        elapsed = [e for e, _ in v]
        cpu = [c for _, c in v]
        result[k] = (size / statistics.median(elapsed) / MB, size / statistics.median(cpu) / MB,
                     (max(elapsed) - min(elapsed)) / statistics.median(elapsed))
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--brivel", required=True)
    parser.add_argument("--other", action="append", default=[], metavar="LABEL=PATH")
    parser.add_argument("--check")
    parser.add_argument("--naive", required=True)
    parser.add_argument("--peak-rss", required=True)
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--smoke", action="store_true")
    parser.add_argument("--runs", type=int)
    args = parser.parse_args()
    brivel, naive = os.path.abspath(args.brivel), os.path.abspath(args.naive)
    kernels = kernels_of(brivel)
    best = "brivel " + kernels[0]
    others = [(label, os.path.abspath(path)) for label, _, path in
              (other.partition("=") for other in args.other)]
    converters = ([("brivel " + k, brivel, kernel_env(k)) for k in kernels] +
                  [(label, path, None) for label, path in others] + [("naive", naive, None)])
    work = args.work_dir
    os.makedirs(work, exist_ok=True)

    size = 1 * MB if args.smoke else 100 * MB
    runs = args.runs or (1 if args.smoke else 7)
    inputs = [
        ("realistic", "realistic list", camera_batch),
        ("rejected", "every line rejected", comment_batch),
        ("long", "lines of 2-3 KB", long_line_batch),
    ]
    path = lambda name: os.path.join(work, "input-%s.txt" % name)
    speeds = {}
    try:
        print("Input through a pipe from cat, output to /dev/null; medians of %d runs each,\n"
              "alternating. MB/s of input over the elapsed time, and over the CPU time of the\n"
              "converting process alone; spread: slowest elapsed time minus the fastest, over\n"
              "the median." % runs)
        for name, label, make_batch in inputs:
            write_lines(path(name), size, make_batch)
            output_bytes = check_same_output(converters, path(name), work)
            print("\n%s: %s in, %s out, the same from %s"
                  % (label, megabytes(os.path.getsize(path(name))), megabytes(output_bytes),
                     ", ".join(k for k, _, _ in converters[:-1]) + " and the naive converter"))
            speed = time_converters(brivel, kernels, others, naive, path(name), runs,
                                    args.check and os.path.abspath(args.check))
            print("  %-15s %9s %9s %7s" % ("", "elapsed", "CPU", "spread"))
            for k, (elapsed, cpu, spread) in speed.items():
                print("  %-15s %4.0f MB/s %4.0f MB/s %6.0f%%" % (k, elapsed, cpu, 100 * spread))
            print("  %s / naive: %.1fx elapsed, %.1fx CPU"
                  % (best, speed[best][0] / speed["naive"][0], speed[best][1] / speed["naive"][1]))
            for k in ["brivel " + k for k in kernels[1:]]:
                print("  %s / %s: %.0f%% elapsed, %.0f%% CPU"
                      % (k, best, 100 * speed[k][0] / speed[best][0],
                         100 * speed[k][1] / speed[best][1]))
            for k, _ in others:
                print("  %s / %s: %.2fx elapsed, %.2fx CPU"
                      % (best, k, speed[best][0] / speed[k][0], speed[best][1] / speed[k][1]))
            speeds[name] = speed
            if name != "realistic":
                os.remove(path(name))

        small = size // 10
        write_lines(path("small"), small, camera_batch)
        memory = [
            ("%s list" % megabytes(small), feed_file(path("small"))),
            ("%s list" % megabytes(10 * size), feed_file(path("realistic"), 10)),
            ("%s line, no line feed" % megabytes(20 * size), feed_huge_line(20 * size)),
        ]
        print("\nbrivel's peak resident memory:")
        peaks = []
        for label, feed in memory:
            peaks.append(peak_rss_kib(args.peak_rss, brivel, feed))
            print("  %-26s %6d KiB" % (label, peaks[-1]))
    finally:
        for name in os.listdir(work):
            if name.startswith(("input-", "out-")):
                os.remove(os.path.join(work, name))

    brivel_speed, naive_speed = speeds["realistic"][best][0], speeds["realistic"]["naive"][0]
    print("\ntargets%s:" % (" (smoke run on tiny inputs: not meaningful)" if args.smoke else ""))
    print("  brivel at least 10x the naive converter on the realistic list: %5.1fx     %s"
          % (brivel_speed / naive_speed, verdict(brivel_speed >= 10 * naive_speed)))
    print("  brivel at least 1000 MB/s on the realistic list:              %5.0f MB/s %s"
          % (brivel_speed, verdict(brivel_speed >= 1000)))
    if "portable" in kernels[1:]:
        ratio = speeds["realistic"]["brivel portable"][1] / speeds["realistic"][best][1]
        print("  the portable kernel at least 80%% of the best (CPU), realistic: %5.0f%%     %s"
              % (100 * ratio, verdict(ratio >= 0.8)))
    if args.check:
        check_cpu = speeds["realistic"]["brivel-check"][1]
        print("  brivel-check at least 300 MB/s of CPU on the realistic list:  %5.0f MB/s %s"
              % (check_cpu, verdict(check_cpu >= 300)))
    for k, _ in others:
        ratio = speeds["realistic"][best][1] / speeds["realistic"][k][1]
        print("  the best kernel at least 1.4x %s (CPU), realistic list: %5.2fx     %s"
              % (k, ratio, verdict(ratio >= 1.4)))
    print("  peak memory the same within 64 KiB:                           %5d KiB  %s"
          % (max(peaks) - min(peaks), verdict(max(peaks) - min(peaks) <= 64)))
    print("  peak memory under 4 MiB:                                      %5d KiB  %s"
          % (max(peaks), verdict(max(peaks) < 4 * KIB)))


def verdict(met):
    return "met" if met else "MISSED"


if __name__ == "__main__":
    main()
