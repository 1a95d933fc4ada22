#!/usr/bin/env python3
"""make bench, inside the sandbox: Vesmor.exe beside a bare window program.

Usage: tools/bench.py BUILD_WIN [RUNS]

Every figure is the median of RUNS runs (at least 10) taken in this one run,
Vesmor.exe and the bare program interleaved. Prints a Markdown table.
"""
import os
import re
import statistics
import subprocess
import sys
import time

MIB = 1024 * 1024


def wine(*args, stdin=None):
    return subprocess.run(["wine", *args], stdin=stdin, capture_output=True, text=True, check=True).stdout


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def figures(output):
    """{(name, program): [values]} from lines "<name> <program> <value>"."""
    found = {}
    for line in output.splitlines():
        parts = line.split()
        if len(parts) == 3:
            try:
                found.setdefault((parts[0], parts[1]), []).append(float(parts[2]))
            except ValueError:
                pass
    return found


def imports(exe, delayed=()):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True, text=True, check=True)
    names = sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", dump.stdout)})
    return names + ["%s (at first use)" % name for name in delayed]


def delay_loaded():
    """The DLLs linked through delay-import libraries (cmake/*-delay.def)."""
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cmake")
    names = []
    for entry in sorted(os.listdir(here)):
        if entry.endswith("-delay.def"):
            with open(os.path.join(here, entry)) as f:
                names += [line.split()[1].lower() for line in f if line.startswith("LIBRARY")]
    return names


def linux_pid(exe_name):
    """The newest live Wine process running exe_name (a Windows path ends in it)."""
    found = None
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace")
                with open("/proc/%s/stat" % entry) as f:
                    state = f.read().rsplit(")", 1)[1].split()[0]
            except OSError:
                continue
            if argv0.lower().endswith(exe_name.lower()) and state != "Z":
                found = max(found or 0, int(entry))
    return found


def switches(pid):
    """Context switches of all the process's threads so far: its wake-ups."""
    total = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/status" % (pid, tid)) as f:
            for line in f:
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    total += int(line.split()[1])
    return total


def idle_wakeups(bench, programs, runs, seconds):
    """Wake-ups per window of `seconds` while both programs sit idle."""
    proc = subprocess.Popen(["wine", bench, "idle", *programs], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)
    names = []
    while len(names) < len(programs):
        line = proc.stdout.readline()
        if not line:
            raise RuntimeError("idle: programs did not start")
        if line.startswith("READY"):
            names.append(line.split()[1])
    time.sleep(2)  # let start-up settle
    pids = {name: linux_pid(name + ".exe") for name in names}
    samples = {name: [] for name in names}
    for _ in range(runs):
        before = {name: switches(pid) for name, pid in pids.items()}
        time.sleep(seconds)
        for name, pid in pids.items():
            samples[name].append(switches(pid) - before[name])
    proc.communicate("close\n", timeout=60)
    return samples


def armed_wakeups(bench, program, periods):
    """Wake-ups of an armed program between its ticks, and the calibrations
    it ran. The run just before READY armed the timer, so ticks fall 30 s
    apart from there; each 20 s window sits between two of them."""
    proc = subprocess.Popen(["wine", bench, "armed", program], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline()
    if not line.startswith("READY"):
        raise RuntimeError("armed: program did not start")
    pid = linux_pid(line.split()[1] + ".exe")
    armed_at = time.monotonic()
    samples = []
    for period in range(periods):
        time.sleep(max(0, armed_at + period * 30 + 5 - time.monotonic()))
        before = switches(pid)
        time.sleep(20)
        samples.append(switches(pid) - before)
    time.sleep(max(0, armed_at + periods * 30 + 2 - time.monotonic()))
    out, _ = proc.communicate("close\n", timeout=60)
    ticks = figures(out).get(("ticks", line.split()[1]), [0])[0]
    return samples, ticks


def median(values):
    return statistics.median(values) if values else float("nan")


def main():
    win = sys.argv[1]
    runs = max(10, int(sys.argv[2]) if len(sys.argv) > 2 else 11)
    vesmor = os.path.join(win, "Vesmor.exe")
    bare = os.path.join(win, "tests", "bench", "BareWindow.exe")
    themed = os.path.join(win, "tests", "bench", "BareWindowThemed.exe")
    bench = os.path.join(win, "tests", "bench", "VesmorBench.exe")
    a, b, c = windows_path(vesmor), windows_path(bare), windows_path(themed)

    print("measuring start-up and memory (%d runs each)..." % runs, file=sys.stderr)
    start = figures(wine(bench, "startup", str(runs), a, b, c))
    print("measuring calibrations...", file=sys.stderr)
    calibrate = figures(wine(bench, "calibrate", str(runs), a))
    print("measuring bodies of 1, 10 and 100 MB...", file=sys.stderr)
    pages = {}
    for run in range(runs):
        for size in (1 * MIB, 10 * MIB, 100 * MIB):
            for framing in ("length", "close"):
                mark = "m%d-%d-%d" % (os.getpid(), run, size)
                out = wine(bench, "page", str(size), framing, "--mark", mark)
                for key, values in figures(out).items():
                    pages.setdefault(key, []).extend(values)
    print("measuring idle wake-ups...", file=sys.stderr)
    idle = idle_wakeups(bench, [a, b], runs, 3)
    print("measuring the armed retry (about 2 minutes)...", file=sys.stderr)
    armed, ticks = armed_wakeups(bench, a, 4)

    def trio(name):
        return [median(start[(name, program)]) for program in ("Vesmor", "BareWindow", "BareWindowThemed")]

    rows = []

    def row(figure, value_a, value_b, goal, fmt="%.1f", value_c="—"):
        ratio = "%.2f×" % (value_a / value_b) if isinstance(value_b, float) and value_b else "—"
        show = lambda v: (fmt % v) if isinstance(v, float) else v
        if isinstance(value_c, float):
            value_c = "%s (Vesmor %.2f×)" % (show(value_c), value_a / value_c)
        rows.append("| %s | %s | %s | %s | %s | %s |" % (figure, show(value_a), show(value_b), ratio, value_c, goal))

    def startup_row(figure, name, goal, fmt="%.1f"):
        a_value, b_value, c_value = trio(name)
        row(figure, a_value, b_value, goal, fmt, c_value)

    row("File size, stripped and static (KiB)", os.path.getsize(vesmor) / 1024.0, os.path.getsize(bare) / 1024.0,
        "≤ 64 KiB", value_c=os.path.getsize(themed) / 1024.0)
    row("Imports", ", ".join(imports(vesmor, delay_loaded())), ", ".join(imports(bare)), "Windows' own DLLs only")
    startup_row("Start to window shown and idle (ms)", "start_ms", "≤ 1.2× bare")
    startup_row("Peak working set at rest (KiB)", "peak_working_set_kib", "≤ 1.5× bare", "%.0f")
    startup_row("Private bytes at rest (KiB)", "private_kib", "≤ 1.5× bare", "%.0f")
    row("Calibration: click to status text, minus the server's time (ms)",
        median(calibrate[("calibration_overhead_ms", "Vesmor")]), "—", "≤ 10 ms", "%.2f")
    for framing, label in (("length", "with Content-Length"), ("close", "without Content-Length")):
        times = [median(pages[("page_ms", "%s/%d" % (framing, s * MIB))]) for s in (1, 10, 100)]
        peaks = [median(pages[("page_peak_per_body", "%s/%d" % (framing, s * MIB))]) for s in (1, 10, 100)]
        row("Fetch and parse 1 / 10 / 100 MB, %s (ms)" % label, " / ".join("%.0f" % t for t in times), "—",
            "100 MB ≤ 12× 10 MB: %.1f×" % (times[2] / times[1]))
        row("Peak memory growth per body byte, 1 / 10 / 100 MB, %s" % label,
            " / ".join("%.2f" % p for p in peaks), "—", "< 2.5")
    row("Wake-ups while idle, per 3 s (context switches)", median(idle["Vesmor"]), median(idle["BareWindow"]),
        "no more than bare", "%.0f")
    row("Retry armed: calibrations per 30 s", ticks / float(len(armed)), "—", "exactly 1", "%.2f")
    row("Retry armed: wake-ups between two ticks (context switches in 20 s)", median(armed), "—", "0", "%.0f")

    print("| Figure | Vesmor.exe | Bare window | Ratio | Bare window, Vesmor's manifest and one button | Goal |")
    print("|---|---|---|---|---|---|")
    print("\n".join(rows))
    print()
    print("Medians of %d runs, %s, Wine %s." % (runs, time.strftime("%Y-%m-%d"),
          subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()))


if __name__ == "__main__":
    main()
