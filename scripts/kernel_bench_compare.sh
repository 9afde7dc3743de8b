#!/usr/bin/env bash
# Measures the kernel benchmarks of the work tree against those of an earlier
# commit, in one run on one core, and prints the medians side by side
# (x real time: seconds of audio per second of CPU time).
#
#   scripts/kernel_bench_compare.sh REV            compare with REV's kernel
#   scripts/kernel_bench_compare.sh REV --core 1   pin both to core 1 (default 0)
#   scripts/kernel_bench_compare.sh REV --reps 5   repetitions per case (default 5)
#
# Both binaries are built from today's bench/kernel_bench.cpp, so they run
# the same cases; only the kernel differs. REV's tree is unpacked into
# build-bench-base/src. Run it on a quiet machine: the figures are CPU time.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

[ $# -ge 1 ] || { sed -n 2,13p "$0"; exit 2; }
base_rev="$1"
shift
core=0
reps=5
while [ $# -gt 0 ]; do
  case "$1" in
    --core) core="$2"; shift 2 ;;
    --reps) reps="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

base_src=build-bench-base/src
rm -rf "$base_src"
mkdir -p "$base_src"
git archive "$base_rev" | tar -x -C "$base_src"
cp bench/kernel_bench.cpp "$base_src/bench/kernel_bench.cpp"

options=(-DCMAKE_BUILD_TYPE=Release -DZORV_BUILD_TESTS=OFF)
zorv_build build-bench "${options[@]}" -- kernel_bench
(cd "$base_src" && zorv_build ../obj "${options[@]}" -- kernel_bench)

out=build-bench-base/results
rm -rf "$out"
mkdir -p "$out"
# Before and after take turns, one repetition each, so that a change in the
# machine's load or clock during the run touches both sides alike.
for ((rep = 1; rep <= reps; ++rep)); do
  for side in before after; do
    if [ "$side" = before ]; then binary=build-bench-base/obj/bench/kernel_bench; else binary=build-bench/bench/kernel_bench; fi
    zorv_log "Measuring $side, repetition $rep of $reps, on core $core"
    taskset -c "$core" "$binary" --benchmark_format=json --benchmark_out="$out/$side.$rep.json" \
      --benchmark_out_format=json >/dev/null
  done
done

python3 - "$out" "$reps" "$base_rev" <<'PY'
import json, statistics, sys
out, reps, rev = sys.argv[1], int(sys.argv[2]), sys.argv[3]
def medians(side):
    runs = {}
    for rep in range(1, reps + 1):
        for b in json.load(open(f"{out}/{side}.{rep}.json"))["benchmarks"]:
            if b.get("error_occurred"):
                runs.setdefault(b["run_name"], (None, []))
                continue
            label, values = runs.setdefault(b["run_name"], (b.get("label", ""), []))
            values.append(b.get("x_realtime", 0.0))
            runs[b["run_name"]] = (b.get("label", ""), values)
    return {name: (label, statistics.median(v) if v else None) for name, (label, v) in runs.items()}
before, after = medians("before"), medians("after")
print(f"| Case | Path | Before ({rev}) | After | After / before |")
print("|---|---|---|---|---|")
for name, (label, x) in after.items():
    case = "/".join(p for p in name.split("/") if not p.startswith("path:"))
    index = next((p[5:] for p in name.split("/") if p.startswith("path:")), "")
    path = label or {"0": "sse2", "1": "avx2", "2": "avx512"}.get(index, index)
    b = before.get(name, ("", None))[1]
    if x is None:
        print(f"| {case} | {path} | not supported by this CPU | not supported by this CPU | - |")
        continue
    ratio = f"{x / b:.2f}" if b else "-"
    print(f"| {case} | {path} | {b:,.0f} | {x:,.0f} | {ratio} |")
PY
