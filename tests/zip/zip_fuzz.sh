#!/usr/bin/env bash
# Runs the extraction fuzz: the mutator writes COUNT cases from SEED into the
# prefix's C:\fuzz\NAME-cases, then the heap-checked copy of the fuzz driver
# extracts them all in one process into the sandbox C:\fuzz\NAME. Fails on any
# finding, on a crash (naming the case that was running) and on any heap error
# Wine reports.
# Usage: zip_fuzz.sh WINE_RUN PREFIX COUNT SEED [NAME]
set -u
run=$1 prefix=$2 count=$3 seed=$4 name=${5:-run}
here=$(cd "$(dirname "$0")" && pwd)
cases="$prefix/drive_c/fuzz/$name-cases"
rm -rf "$cases" "$prefix/drive_c/fuzz/$name"
python3 "$here/zip_fuzz_mutator.py" "$cases" "$count" "$seed" || exit 1

# Heap checking for the copy's own program name (the GlobalFlag of the
# image's options); the driver itself stays unchecked for other uses.
WINEDEBUG=-all "$run" reg.exe add \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\zip_fuzz_heap.exe' \
    /v GlobalFlag /t REG_DWORD /d 0xF0 /f >/dev/null 2>&1 || true

log=$(mktemp)
start=$(date +%s.%N)
WINEDEBUG=err+heap "$run" zip_fuzz_heap.exe "C:\\fuzz\\$name-cases" "C:\\fuzz\\$name" \
    >"$log" 2>"$log.err"
rc=$?
seconds=$(echo "$(date +%s.%N) - $start" | bc)
grep '^FINDING' "$log"
heap=$(grep -c 'err:heap' "$log.err")
tail -n 1 "$log"
printf 'seed %s, %s cases in %.1f s, heap errors: %s\n' "$seed" "$count" "$seconds" "$heap"
if ! grep -q '^summary:' "$log"; then
    echo "FAIL: the driver ended (code $rc) during: $(grep '^case ' "$log" | tail -n 1)"
    rc=1
fi
[ "$heap" -eq 0 ] || { grep 'err:heap' "$log.err" | head -n 5; rc=1; }
rm -f "$log" "$log.err"
[ "$rc" -eq 0 ] && rm -rf "$cases"
exit "$rc"
