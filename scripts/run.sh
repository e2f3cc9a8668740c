#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program in its own folder.
# The delivered data.mdb is placed beside the program only when none is there:
# an existing database (with its sales) is never overwritten.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd build
[ -e data.mdb ] || cp delivered/data.mdb data.mdb
exec ./Velmora
