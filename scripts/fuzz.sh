#!/usr/bin/env bash
# Fuzzes the number-text rules and the store's contains search with libFuzzer
# (clang, AddressSanitizer, UndefinedBehaviorSanitizer) for a bounded time:
#
#   bash scripts/fuzz.sh [seconds per target, default 300] [target ...]
#
# Targets: numbertext, search (both by default). The corpus grows in
# build-fuzz/corpus/<target>, starting from the seeds in fuzz/corpus/<target>;
# an input that breaks a rule is written to build-fuzz/findings/ and the run
# of that target stops with its reason. Replay one with
#   build-fuzz/fuzz/fuzz_<target> build-fuzz/findings/<file>
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-300}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(numbertext search)

bash scripts/install-deps.sh sanitize
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DVELMORA_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
# The search target opens data.mdb through Qt's SQLite plugin.
export QT_QPA_PLATFORM=offscreen LANG=C.UTF-8
root="$PWD"
status=0
for target in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$target" build-fuzz/findings
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="$root/fuzz/$target.dict")
  echo "== fuzz_$target for ${seconds}s"
  # Paths are absolute: the search target works in a folder of its own.
  set +e
  "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=400 -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$root/build-fuzz/findings/$target-" "${dict[@]}" \
    "$root/build-fuzz/corpus/$target" "$root/fuzz/corpus/$target" 2>&1 | grep -vE '^#[0-9]+.*(NEW|REDUCE)'
  rc=${PIPESTATUS[0]}
  set -e
  if [ "$rc" -ne 0 ]; then
    echo "fuzz_$target found a broken rule (exit $rc): see build-fuzz/findings/"
    status=1
  fi
done
exit $status
