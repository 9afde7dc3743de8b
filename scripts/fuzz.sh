#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UBSan) and runs
# them. A short smoke run of every target over its seeds is what test.sh
# does; here the runs are as long as you ask.
#
#   scripts/fuzz.sh                    every target for 10 minutes
#   scripts/fuzz.sh --time 60          every target for 60 seconds
#   scripts/fuzz.sh --runs 10000000    every target for that many executions
#   scripts/fuzz.sh --smoke            every target a few seconds (test.sh)
#   scripts/fuzz.sh --max-len 65536    longer inputs (default 4096 bytes)
#   scripts/fuzz.sh cc_map json_tree   only those targets
#
# Each target's growing corpus is kept in build-fuzz/corpus/<target>
# (seeded from tests/fuzz/corpus/<target>); findings land in
# build-fuzz/findings/<target>/. Exits non-zero when a target finds a fault.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

limit=(-max_total_time=600)
max_len=4096
smoke=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --time) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    --smoke) limit=(-max_total_time=4); smoke=1; shift ;;
    --max-len) max_len="$2"; shift 2 ;;
    -h|--help) sed -n 2,16p "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
if [ ${#targets[@]} -eq 0 ]; then
  targets=(state_document cc_map pad_overrides bridge_message json_tree base64
           ui_manifest ui_path wav_decoder bank_loader processor score midi_file preset_file)
fi

CC=clang CXX=clang++ zorv_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORV_FUZZ=ON \
  -DZORV_SANITIZE=address,undefined -DZORV_BUILD_TESTS=OFF -DZORV_BUILD_BENCH=OFF -- zorv_fuzzers

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  findings="build-fuzz/findings/$t"
  mkdir -p "$corpus" "$findings"
  cp -n tests/fuzz/corpus/"$t"/* "$corpus"/ 2>/dev/null || true
  zorv_log "Fuzzing $t"
  args=("${limit[@]}" -dict="tests/fuzz/dict/$t.dict" -max_len="${max_len}" -timeout=10 -rss_limit_mb=2048
        -artifact_prefix="$findings/" -print_final_stats=1)
  # The smoke run reads the committed seeds and keeps nothing: what it
  # finds new goes to a scratch folder (libFuzzer writes to the first one).
  if [ "$smoke" = 1 ]; then
    scratch="$(mktemp -d)"
    dirs=("$scratch" tests/fuzz/corpus/"$t")
  else
    scratch=""
    dirs=("$corpus")
  fi
  log="build-fuzz/fuzz_$t${scratch:+.smoke}.log"
  if ! "build-fuzz/tests/fuzz/fuzz_$t" "${args[@]}" "${dirs[@]}" > "$log" 2>&1; then
    failed+=("$t")
    tail -40 "$log" >&2
  else
    grep -E "stat::number_of_executed_units|cov:" "$log" | tail -2 >&2 || true
  fi
  if [ -n "$scratch" ]; then rm -rf "$scratch"; fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (see build-fuzz/findings/)" >&2
  exit 1
fi
