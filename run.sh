#!/usr/bin/env bash
# Builds the project and starts the slide show: on the desktop when there is
# one, otherwise on a virtual display for 15 seconds, with screenshots.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
exec ./scripts/run-show.sh "$@"
