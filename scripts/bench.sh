#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine in the build's test prefix. Each
# line prints a measurement, its baseline from the same run and their ratio.
# Then the log soak: 8 processes x 2,000 records against one log, every record
# checked, records per second printed.
# Usage: scripts/bench.sh [repetitions]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/setup-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target installer_bench log_soak >/dev/null
build/windows/wine-run.sh installer_bench.exe "${1:-3}"
build/windows/wine-run.sh log_soak.exe 8 2000
