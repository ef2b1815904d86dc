#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine. Each line prints a measurement,
# its baseline from the same run and their ratio. Then the log soak: 8
# processes x 2,000 records against one log, every record checked, records per
# second printed. The install bench (our install and uninstall against the
# file-system floor and an NSIS peer) runs in a prefix of its own,
# build/bench/wineprefix, and writes its table and plot to build/bench/.
# Usage: scripts/bench.sh [repetitions]
#   BENCH_SIZES="1 1000" scripts/bench.sh 1   a quick run with fewer sizes
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/setup-deps.sh
runs="${1:-3}"

# The NSIS peer and the plot need Debian's makensis and matplotlib.
missing=()
command -v makensis >/dev/null || missing+=(nsis)
/usr/bin/python3 -c 'import matplotlib' 2>/dev/null || missing+=(python3-matplotlib)
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >/dev/null
fi

cmake --preset windows >/dev/null
cmake --build --preset windows --target installer_bench extract_bench install_bench log_soak \
    >/dev/null
build/windows/wine-run.sh installer_bench.exe "$runs"
build/windows/wine-run.sh extract_bench.exe "$runs"
build/windows/wine-run.sh log_soak.exe 8 2000

out="$top/build/bench"
mkdir -p "$out"
scripts/make-prefix.sh "$out/wineprefix"
/usr/bin/python3 bench/install_bench.py "$top/build/windows" "$out" "$out/wineprefix" "$runs" \
    ${BENCH_SIZES:-1 1000 5000 10000 20000}
