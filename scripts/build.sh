#!/usr/bin/env bash
# Configures and builds Kerbolt into ./build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
cmake -S . -B build -G Ninja
cmake --build build
