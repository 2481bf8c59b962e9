#!/bin/sh
# Builds the fuzz targets with clang in build-fuzz/ and runs each on its seed corpus for a bounded time.
# Any crash, sanitizer report, leak, time-out or memory overrun fails the run (non-zero status).
#   fuzz/smoke.sh [SECONDS]     seconds per target, 20 by default
# New inputs that the run finds are kept in build-fuzz/corpus/<target>/, never in the committed seeds.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
# libFuzzer takes 0 as no limit at all.
case "$seconds" in
  ''|*[!0-9]*|0) echo "usage: $0 [SECONDS], SECONDS at least 1" >&2; exit 2 ;;
esac
build="$top/build-fuzz"
cxx=${FUZZ_CXX:-$(command -v clang++-14 || command -v clang++)}

CXX=$cxx cmake -S "$top" -B "$build" -DTRALUNE_FUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets="fuzz_pcx fuzz_font fuzz_script fuzz_check fuzz_lrc fuzz_ultrastar fuzz_cdg fuzz_ass fuzz_kar fuzz_render
  fuzz_partyname fuzz_json"
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $targets

status=0
for target in $targets; do
  work="$build/corpus/$target"
  mkdir -p "$work" "$build/findings/$target"
  # The checker's seeds include the demo's script as it is now, not a copy that could go stale.
  if [ "$target" = fuzz_check ]; then
    cp "$top/demo/script.txt" "$work/demo"
  fi
  # The decoder refuses pictures over 16,777,216 pixels (64 MiB of pixel values); 256 MiB for one
  # allocation leaves room for the sanitizer's bookkeeping. -timeout catches a decoding loop that
  # stops making progress.
  echo "== $target: $seconds s"
  # Some targets work in a scratch folder of their own, where the checker and the importers look for
  # the font: the paths given here are absolute, so that the corpus and what the run stops on are
  # still found from there.
  if ! (cd "$build/findings/$target" && "$build/fuzz/$target" -max_total_time="$seconds" \
      -artifact_prefix="$build/findings/$target/" \
      -rss_limit_mb=2048 -malloc_limit_mb=256 -timeout=60 -print_final_stats=1 \
      "$work" "$top/fuzz/corpus/$target") >"$build/$target.log" 2>&1; then
    echo "$target FAILED; its log ($build/$target.log) ends:"
    tail -n 60 "$build/$target.log"
    status=1
  else
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$build/$target.log" || true
  fi
done
exit $status
