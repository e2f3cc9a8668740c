#!/usr/bin/env bash
# Pictures of the six receipts as a 203-dpi thermal printer burns them (one
# bit, black on white), each printed by a real checkout of a sample ticket,
# and of the preview window: build/receipt-pictures/*.png (not committed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target receipt_pictures
out="${1:-build/receipt-pictures}"
QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 build/tools/receipt_pictures "$out"
echo "Pictures in $out"
