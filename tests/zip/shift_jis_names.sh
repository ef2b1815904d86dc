#!/usr/bin/env bash
# Stored names in code page 932. Wine takes the ANSI code page from the Linux
# locale variables, so the zip tests' code-page case runs from here under
# ja_JP; Wine keeps each run's locale in the prefix's registry, so the test
# ends with a run in the caller's own locale, which writes it back.
# Usage: shift_jis_names.sh WINE_RUN
set -u
run=$1
out=$(LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8 "$run" zip_tests.exe \
      --gtest_filter='ZipNames.ShiftJis*' 2>&1)
printf '%s\n' "$out"
"$run" zip_tests.exe --gtest_filter='ZipNames.ShiftJis*' >/dev/null 2>&1
if printf '%s' "$out" | grep -q 'SKIPPED'; then
    echo "FAIL: the run under ja_JP did not get code page 932"
    exit 1
fi
printf '%s' "$out" | grep -q 'PASSED.*1 test'
