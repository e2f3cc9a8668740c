#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless. The suite's
# tst_package makes the Debian package from build/ and checks it.
#
# VELMORA_SANITIZE=1 bash scripts/test.sh builds the program and its tests
# with clang under AddressSanitizer and UndefinedBehaviorSanitizer into
# build-sanitize/ and runs the whole suite there: any memory error, leak or
# undefined behaviour fails the test that met it.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_SANITIZE:-0}" = 1 ]; then
  bash scripts/install-deps.sh sanitize
  build=build-sanitize
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DVELMORA_SANITIZE=ON
  cmake --build "$build" -j2
  export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
  export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  # Each test's own time limit is longer in this build (tests/CMakeLists.txt):
  # everything runs a few times slower under the sanitizers.
else
  bash scripts/install-deps.sh
  bash scripts/build.sh
  build=build
fi
# The printing tests go through a real CUPS scheduler: start one, detached,
# when none runs. That takes root; otherwise those tests say why they skip.
if [ "$(lpstat -r 2>/dev/null)" != "scheduler is running" ] && [ "$(id -u)" -eq 0 ]; then
  setsid cupsd -f </dev/null >/dev/null 2>&1 &
  for _ in $(seq 50); do
    [ "$(lpstat -r 2>/dev/null)" = "scheduler is running" ] && break
    sleep 0.2
  done
fi
# The server tests run on a PostgreSQL server of their own, stopped again
# however the run ends; where none can be started they say why and skip.
pg_server=$(bash scripts/pg-test-server.sh start) || pg_server="export VELMORA_TEST_PG_UNAVAILABLE='the test server did not start (see above)'"
eval "$pg_server"
# The trap runs after the cd below: it names the script by its full path.
if [ -n "${VELMORA_TEST_PG_DIR:-}" ]; then
  trap "bash '$PWD/scripts/pg-test-server.sh' stop \"\$VELMORA_TEST_PG_DIR\" || true" EXIT
fi
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
