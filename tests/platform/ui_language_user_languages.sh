#!/usr/bin/env bash
# The thread UI language rule for users of different languages. Wine takes the
# user's UI language of a process from the locale variables on the Linux side
# (LC_ALL), which a Windows parent cannot change for its child, so each case
# starts ui_language_probe from here. Wine's SetThreadUILanguage keeps no
# per-thread value, so the language set shows in the call's result; where a
# later GetThreadUILanguage differs from the user's language it must show the
# same language. Wine writes the locale of each run into the prefix's
# HKCU\Control Panel\International, so the test holds the prefix lock and
# ends with a run in the caller's own locale, which writes it back.
# Usage: ui_language_user_languages.sh WINE_RUN
set -u
run=$1
fail=0
check() {  # Linux locale, user's LANGID, LANGID expected to be set
    local out line input result ui
    out=$(LC_ALL="$1" LANG="$1" "$run" ui_language_probe.exe 2>&1)
    line=$(printf '%s\n' "$out" | grep '^input=' | tr -d '\r')
    input=$(printf '%s' "$line" | sed -n 's/^input=\([0-9a-f]*\) .*/\1/p')
    result=$(printf '%s' "$line" | sed -n 's/.* result=\([0-9a-f]*\) .*/\1/p')
    ui=$(printf '%s' "$line" | sed -n 's/.* ui=\([0-9a-f]*\) .*/\1/p')
    if [ "$input" != "$2" ]; then
        echo "FAIL: $1: the probe started with UI language '${input}', not $2: $out"
        fail=1
    elif [ "$((16#${result:-0}))" != "$((16#$3))" ]; then
        echo "FAIL: $1: $2 set ${result:-nothing}, expected $3: $out"
        fail=1
    elif [ "$ui" != "$input" ] && [ "$ui" != "$3" ]; then
        echo "FAIL: $1: GetThreadUILanguage shows $ui afterwards, expected $3: $out"
        fail=1
    else
        echo "ok: $1 ($2) -> $3"
    fi
}
check C.UTF-8 0409 0409
check de_CH.UTF-8 0807 0407
check pt_PT.UTF-8 0816 0416
check zh_CN.UTF-8 0804 0004
check zh_TW.UTF-8 0404 0004
check nl_NL.UTF-8 0413 0409
check es_MX.UTF-8 080a 0c0a
check fr_CA.UTF-8 0c0c 040c
check it_CH.UTF-8 0810 0410
check ja_JP.UTF-8 0411 0411
check ko_KR.UTF-8 0412 0412
check ru_RU.UTF-8 0419 0419
check en_GB.UTF-8 0809 0409
check sv_SE.UTF-8 041d 0409
"$run" ui_language_probe.exe >/dev/null 2>&1
exit $fail
