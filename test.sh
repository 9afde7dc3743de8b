#!/usr/bin/env bash
# Installs what is missing, checks the C++ style, builds, and runs every
# test: in the normal build, again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the thread tests (and the hostile host's
# threaded phases) under ThreadSanitizer, and every fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

zorv_install_packages
zorv_install_npm_packages
zorv_prepare_test_locale
zorv_check_format
jobs="$(nproc)"

zorv_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORV_BUILD_TESTS=ON -DZORV_BUILD_BENCH=ON \
  -DZORV_BROWSER_TESTS=ON -DZORV_EDITOR_WINDOW_TESTS=ON
zorv_log "Running the tests"
ctest --test-dir build --output-on-failure --parallel "$jobs"

zorv_build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORV_SANITIZE=address,undefined -DZORV_BUILD_TESTS=ON -DZORV_BUILD_BENCH=OFF \
  -DZORV_BROWSER_TESTS=OFF -DZORV_EDITOR_WINDOW_TESTS=ON
zorv_log "Running the tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure --parallel "$jobs"

zorv_build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORV_SANITIZE=thread -DZORV_BUILD_TESTS=ON -DZORV_BUILD_BENCH=OFF \
  -DZORV_BROWSER_TESTS=OFF -DZORV_EDITOR_WINDOW_TESTS=OFF -- zorv_concurrency_tests zorv-hostile-host zorv_module
zorv_log "Running the thread hand-off tests under ThreadSanitizer"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -L concurrency

zorv_log "Fuzzing every reader briefly (scripts/fuzz.sh runs them long)"
scripts/fuzz.sh --smoke
