"""Prints bench/run's tables from the JSON files of Google Benchmark.

For each benchmark and size it takes the median over the repetitions of the
wall-clock time per call (and of the CPU time), and divides the library's by
its baseline's. The ratio of the minima over the repetitions is shown too:
on a shared machine it is the figure least disturbed by other work.
"""
import json
import os
import platform
import statistics
import sys

TARGETS = {"VerifyPw": ("VerifyBaseline", 1.3), "ChangePw": ("ChangeBaseline", 1.2)}


def load_runs(path):
    """{(benchmark, lines): {"real": [...], "cpu": [...], counters}}"""
    with open(path) as f:
        data = json.load(f)
    runs = {}
    for b in data["benchmarks"]:
        if b.get("run_type") != "iteration" or b.get("error_occurred"):
            continue
        name, _, arg = b["run_name"].partition("/")
        name = name.removeprefix("BM_")
        lines = int(arg.split(":")[1]) if arg else None
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3}[b["time_unit"]]
        entry = runs.setdefault((name, lines), {"real": [], "cpu": []})
        entry["real"].append(b["real_time"] * scale)
        entry["cpu"].append(b["cpu_time"] * scale)
        for key in ("allocs_per_call", "heap_growth_bytes", "items_per_second"):
            if key in b:
                entry.setdefault(key, []).append(b[key])
    return runs, data["context"]


def quartiles(values):
    if len(values) < 4:
        return min(values), max(values)
    q = statistics.quantiles(values, n=4)
    return q[0], q[2]


def fmt(us):
    return f"{us:.2f}" if us < 100 else f"{us:.0f}"


def ops_table(medium, runs):
    sizes = sorted({lines for (_, lines) in runs if lines is not None})
    print(f"\n### {medium}\n")
    print("| operation | lines before the record | library us | baseline us "
          "| ratio | target | met | ratio of minima | CPU-time ratio "
          "| library IQR us | baseline IQR us |")
    print("|---|---:|---:|---:|---:|---:|---|---:|---:|---:|---:|")
    for op, (base, target) in TARGETS.items():
        for lines in sizes:
            lib, ref = runs.get((op, lines)), runs.get((base, lines))
            if not lib or not ref:
                continue
            lib_med = statistics.median(lib["real"])
            ref_med = statistics.median(ref["real"])
            ratio = lib_med / ref_med
            min_ratio = min(lib["real"]) / min(ref["real"])
            cpu_ratio = statistics.median(lib["cpu"]) / statistics.median(ref["cpu"])
            lq, rq = quartiles(lib["real"]), quartiles(ref["real"])
            print(f"| {op} | {lines} | {fmt(lib_med)} | {fmt(ref_med)} "
                  f"| {ratio:.2f} | {target} | {'yes' if ratio <= target else 'no'} "
                  f"| {min_ratio:.2f} | {cpu_ratio:.2f} "
                  f"| {fmt(lq[0])}-{fmt(lq[1])} | {fmt(rq[0])}-{fmt(rq[1])} |")
    locked = [(lines, runs.get(("VerifyBaselineLocked", lines)),
               runs.get(("VerifyBaseline", lines))) for lines in sizes]
    if all(l and b for _, l, b in locked):
        print("\nVerifyBaseline with the library's shared flock added, "
              "CPU time against VerifyBaseline's: "
              + "; ".join(f"{lines} lines {statistics.median(l['cpu']) / statistics.median(b['cpu']):.2f}x"
                          for lines, l, b in locked))
    print("\nGrowth, us per 1,000 lines (median times; linear when the two "
          "columns agree):\n")
    print("| benchmark | 100 -> 1,000 lines | 1,000 -> 10,000 lines |")
    print("|---|---:|---:|")
    for name in ("VerifyPw", "VerifyBaseline", "ChangePw", "ChangeBaseline"):
        med = {lines: statistics.median(runs[(name, lines)]["real"])
               for lines in sizes if (name, lines) in runs}
        if {100, 1000, 10000} <= med.keys():
            low = (med[1000] - med[100]) / 0.9
            high = (med[10000] - med[1000]) / 9
            print(f"| {name} | {low:.1f} | {high:.1f} |")
    allocs = {op: runs[(op, sizes[-1])].get("allocs_per_call", [0])[0]
              for op in TARGETS if (op, sizes[-1]) in runs}
    growth = max((max(v.get("heap_growth_bytes", [0])) for (n, _), v in runs.items()
                  if n in TARGETS), default=0)
    print(f"\nHeap: allocations per call {allocs}; largest growth of the "
          f"bytes held over one benchmark run: {growth:.0f}")


def main():
    results = sys.argv[1]
    print(f"## pwlevel benchmarks ({platform.node()}, {os.cpu_count()} cores)")
    for medium in ("disk", "tmpfs"):
        path = os.path.join(results, f"ops-{medium}.json")
        if os.path.exists(path):
            runs, context = load_runs(path)
            ops_table(medium, runs)
    codec_path = os.path.join(results, "codec.json")
    if os.path.exists(codec_path):
        runs, _ = load_runs(codec_path)
        print("\n### Field codec (one field of a password of 8 characters)\n")
        print("| routine | ns per call (median) | calls per second |")
        print("|---|---:|---:|")
        for name in ("EncodePw", "DecodePw"):
            if (name, None) in runs:
                med = statistics.median(runs[(name, None)]["real"]) * 1e3
                print(f"| {name} | {med:.1f} | {1e9 / med / 1e6:.1f} M |")
    heap_path = os.path.join(results, "heap.txt")
    if os.path.exists(heap_path):
        print("\n### Heap over many calls (tmpfs)\n")
        with open(heap_path) as f:
            for line in f:
                print(f"- {line.strip()}")


if __name__ == "__main__":
    main()
