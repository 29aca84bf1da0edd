#!/usr/bin/env bash
# Installs what is missing, builds Ravelle2 (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DRAVELLE_BUILD_TESTS=OFF -DRAVELLE_BUILD_BENCH=OFF > /dev/null
cmake --build build/release --target Ravelle2
exec build/release/ui/Ravelle2
