#!/usr/bin/env bash
# The event-log sink: Wine's ReportEventW only traces, so the type of each
# event shows as err:, warn: or trace: on standard error, with the message
# (no header, no timestamp) as the one string.
set -u
run=$1
fail=0
check() {  # flags, expected channel class or "none", text
    local out
    out=$(WINEDEBUG=-all,+eventlog "$run" log_writer.exe - 1 "$1" 7 "$3" 2>&1 >/dev/null)
    local line
    line=$(printf '%s\n' "$out" | grep 'ReportEventW' || true)
    if [ "$2" = none ]; then
        if [ -n "$line" ]; then echo "FAIL: flags $1 reported: $line"; fail=1; fi
        return
    fi
    case "$line" in
        *":$2:eventlog:ReportEventW L\"$3 #0\\n\""*) echo "ok: flags $1 -> $2" ;;
        *) echo "FAIL: flags $1: expected $2 event with \"$3 #0\", got: ${line:-nothing}"; fail=1 ;;
    esac
}
check 10000001 err "disk on fire"
check 10000002 warn "disk getting warm"
check 10000003 trace "disk fine"
check 10000000 err "critical level zero"
check 00000001 none "error without the event-log flag"
check 10000006 none "dropped level"
exit $fail
