#!/usr/bin/env bash
# Builds the project and starts it.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
mkdir -p demo
./build/tools/render/mirel-render --contact-sheet demo/contact-sheet.png
echo "Wrote demo/contact-sheet.png: every transition style half-way through."
