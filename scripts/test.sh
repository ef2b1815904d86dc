#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test under Wine.
# The last line printed is ctest's summary.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows "$@"
