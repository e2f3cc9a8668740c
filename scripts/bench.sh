#!/usr/bin/env bash
# The benchmark on years of sales: installs what is missing, builds the
# program with its benchmark into build-bench/ and prints one table (see the
# README). Arguments go to the benchmark: ticket counts, --runs N, --rounds R,
# --no-catalogue.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BENCH=ON
cmake --build build-bench -j2 --target velmora_bench
QT_QPA_PLATFORM=offscreen build-bench/bench/velmora_bench "$@"
