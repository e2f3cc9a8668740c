#!/usr/bin/env bash
# Kills the program (SIGKILL) at random moments while it sells, many times,
# and checks data.mdb after every kill; then starts two copies on one file
# at once, many times. The test suite runs a few dozen kills; this runs
#   bash scripts/crash-kills.sh [kills, default 1000]
# VELMORA_CRASH_SEED=<n> repeats the choices of a run (each run prints its seed).
set -euo pipefail
cd "$(dirname "$0")/.."
kills="${1:-1000}"
bash scripts/install-deps.sh
bash scripts/build.sh
cd build/tests
export QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=C.UTF-8
VELMORA_KILLS="$kills" ./tst_crash
VELMORA_ROUNDS=$(( kills / 10 > 8 ? kills / 10 : 8 )) ./tst_sharing twoStartsAtOnce
