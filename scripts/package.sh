#!/usr/bin/env bash
# Builds the Debian package build-package/velmora_<version>_<arch>.deb from the
# program built in build/, then checks it as tests/package/tst_package.sh
# does in the test suite: its files, its dependencies, lintian, and the
# launcher started on a fake home.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The program is all the package takes from the build; the tests wait.
cmake --build build -j2 --target velmora
bash tests/package/tst_package.sh build build-package
