#!/usr/bin/env bash
# Builds the extraction fuzz driver and runs COUNT mutated brand archives made
# from SEED under Wine in the build's test prefix, with heap checking unless
# "plain" is given (several times faster). Prints every finding and a
# summary; the exit code is 1 when anything was found.
# Usage: scripts/fuzz.sh [count] [seed] [heap|plain]   (defaults: 5000, the time, heap)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/setup-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target zip_fuzz_driver >/dev/null
exec tests/zip/zip_fuzz.sh build/windows/wine-run.sh build/windows/wineprefix \
    "${1:-5000}" "${2:-$(date +%s)}" long "${3:-heap}"
