#!/usr/bin/env bash
# Builds Quarnix and starts it on its built-in default track.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/bootstrap
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
exec ./build/bin/quarnix "$@"
