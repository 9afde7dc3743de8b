#!/usr/bin/env bash
# Measures the kernel benchmarks of the work tree against those of an earlier
# commit, in one run on one core, and prints the medians side by side.
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
mkdir -p "$out"
for side in before after; do
  if [ "$side" = before ]; then binary=build-bench-base/obj/bench/kernel_bench; else binary=build-bench/bench/kernel_bench; fi
  zorv_log "Measuring $side ($binary) on core $core"
  taskset -c "$core" "$binary" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
    --benchmark_format=json --benchmark_out="$out/$side.json" --benchmark_out_format=json >/dev/null
done

python3 - "$out/before.json" "$out/after.json" "$base_rev" <<'PY'
import json, sys
def medians(path):
    result = {}
    for b in json.load(open(path))["benchmarks"]:
        if b.get("aggregate_name") == "median" and not b.get("error_occurred"):
            result[b["run_name"]] = (b.get("x_realtime", 0.0), b.get("label", ""))
    return result
before, after, rev = medians(sys.argv[1]), medians(sys.argv[2]), sys.argv[3]
print(f"| Case | Path | Before ({rev}) x real time | After x real time | After / before |")
print("|---|---|---|---|---|")
for name, (x, label) in after.items():
    b = before.get(name, (0.0, ""))[0]
    ratio = f"{x / b:.2f}" if b else "-"
    case = name.split("/")
    print(f"| {'/'.join(p for p in case if not p.startswith('path:'))} | {label} | {b:,.0f} | {x:,.0f} | {ratio} |")
PY
