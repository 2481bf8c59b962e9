#!/bin/sh
# Builds tralune, its tools and every test with the address and undefined-behaviour sanitizers in
# build-asan/ and runs the whole suite there; called by test.sh after the normal run.
# The end-to-end tests run the sanitized tralune, so a fault in a real run fails them too.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-asan"
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$build" -j"$(nproc)"

# A sanitizer report ends the process with status 86, which no test expects (tralune itself ends with
# 0 or 1), so a report in a death test or in a run of the program fails the test that made it. The
# reports go to standard error, which the tests show on failure. Leaks are reported at process exit;
# lsan.supp names the one leak of a system library (libX11) that is not ours to fix.
export ASAN_OPTIONS="exitcode=86:abort_on_error=0:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:exitcode=86"
export LSAN_OPTIONS="exitcode=86:suppressions=$top/tests/lsan.supp:print_suppressions=0"
# The package is made from the normal build: a sanitized build is never packed, so its test is left out.
cd "$build"
ctest --output-on-failure -j"$(nproc)" -LE package
