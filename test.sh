#!/usr/bin/env bash
# Builds everything and runs every test headless: the normal build, the
# sanitizer build (unit tests) and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/bootstrap

jobs=$(nproc)
export QUARNIX_NO_DIALOG=1
export CTEST_OUTPUT_ON_FAILURE=1

# Xvfb resets itself whenever its last client leaves, and refuses the
# connections that come in meanwhile; with test programs coming and going in
# parallel that failed a GL case now and then ("no display to open a
# window on"). -noreset keeps it up (the window also retries for a moment).
with_display() {
  if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$@"
  else
    "$@"
  fi
}

# Each stage says how long the run has taken so far.
stage() { echo "== $1 (at $((SECONDS / 60)) min $((SECONDS % 60)) s)"; }

stage build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
stage tests
(cd build && with_display ctest -j "$jobs" --timeout 600)

stage "sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer)"
# The checked builds keep line tables only and optimise lightly: they build
# much faster, and the sanitizers' reports still name every source line.
checked_flags=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${checked_flags[@]}" -DQX_SANITIZE=ON \
  -DQX_BENCH=OFF -DQX_GAME_DATA="$PWD/build/bin/zzzz.saf" >/dev/null
cmake --build build-asan -j "$jobs" --target unit_tests
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Mesa's software rasterizer draws on threads of its own, which
# LeakSanitizer's exit-time tracer cannot always stop under load ("Tracer
# caught signal 11" after the cases passed); here it draws on the calling
# thread, and every case keeps the leak scan. The tracer can still fall over
# at exit on a GL case now and then ("Tracer caught signal 11" after
# "[  PASSED  ]", in the runtime's walk of the threads' TLS); failed cases run
# once more on their own, so a real fault, which fails again, still fails here.
(cd build-asan && export LP_NUM_THREADS=0 && with_display ctest -j "$jobs" -L unit --timeout 900 ||
  { echo "-- running the failed cases once more"; with_display ctest --rerun-failed --timeout 900; })
unset ASAN_OPTIONS UBSAN_OPTIONS

stage "fuzz smoke runs"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${checked_flags[@]}" \
  -DQX_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzz_targets
seconds=${QX_FUZZ_SECONDS:-3}
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target"); name=${name#fuzz_}
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  echo "-- $name (${seconds}s)"
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 "$target" -max_total_time="$seconds" -print_final_stats=0 \
    -rss_limit_mb=2048 "$work" >"$work.log" 2>&1 || { tail -50 "$work.log"; rm -rf "$work" "$work.log"; exit 1; }
  grep -E "^#[0-9]+.*DONE" "$work.log" | tail -1 || true
  rm -rf "$work" "$work.log"
done
stage "all tests passed"
