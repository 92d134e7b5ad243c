#!/usr/bin/env bash
# Installs what is missing, builds, and runs the engine on the bundled
# Gaussian example; the listing goes to standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target tzm >/dev/null
cd examples
../build/bin/tzm < gaussian.tzm
