#!/usr/bin/env bash
# Runs the extraction fuzz: the mutator writes COUNT cases from SEED into the
# prefix's C:\fuzz\NAME-cases, then the fuzz driver extracts them all in one
# process into the sandbox C:\fuzz\NAME; with "heap" its copy
# zip_fuzz_heap.exe does, under Wine's heap checking (several times slower).
# Fails on any finding, on a crash (naming the case that was running) and on
# any heap error Wine reports.
# Usage: zip_fuzz.sh WINE_RUN PREFIX COUNT SEED [NAME] [plain|heap]
set -u
run=$1 prefix=$(cd "$2" && pwd) count=$3 seed=$4 name=${5:-run} mode=${6:-heap}
here=$(cd "$(dirname "$0")" && pwd)
cases="$prefix/drive_c/fuzz/$name-cases"
rm -rf "$cases" "$prefix/drive_c/fuzz/$name"
python3 "$here/zip_fuzz_mutator.py" "$cases" "$count" "$seed" || exit 1

driver=zip_fuzz_driver.exe
if [ "$mode" = heap ]; then
    # Heap checking for the copy's own program name (the GlobalFlag of the
    # image's options); the driver itself stays unchecked.
    driver=zip_fuzz_heap.exe
    options='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\zip_fuzz_heap.exe'
    if ! (cd "$prefix/drive_c" && WINEPREFIX=$prefix WINEDEBUG=-all \
          wine reg add "$options" /v GlobalFlag /t REG_DWORD /d 0xF0 /f >/dev/null 2>&1); then
        echo "FAIL: cannot set GlobalFlag for zip_fuzz_heap.exe"
        exit 1
    fi
fi

log=$(mktemp)
start=$(date +%s.%N)
WINEDEBUG=err+heap "$run" "$driver" "C:\\fuzz\\$name-cases" "C:\\fuzz\\$name" \
    >"$log" 2>"$log.err"
rc=$?
seconds=$(echo "$(date +%s.%N) - $start" | bc)
grep '^FINDING' "$log"
heap=$(grep -c 'err:heap' "$log.err")
tail -n 1 "$log"
printf 'seed %s, %s cases in %.1f s (%s), heap errors: %s\n' "$seed" "$count" "$seconds" "$mode" "$heap"
if ! grep -q '^summary:' "$log"; then
    echo "FAIL: the driver ended (code $rc) during: $(grep '^case ' "$log" | tail -n 1)"
    rc=1
fi
[ "$heap" -eq 0 ] || { grep 'err:heap' "$log.err" | head -n 5; rc=1; }
rm -f "$log" "$log.err"
[ "$rc" -eq 0 ] && rm -rf "$cases"
exit "$rc"
