#!/usr/bin/env bash
# Links made by CreateShortcut (through shortcut_maker under Wine), read back
# on the Linux side by lnkinfo, a reader that shares nothing with the shell:
# target, working folder, icon, and no arguments.
# Usage: shortcut_lnkinfo.sh WINE_RUN PREFIX
set -u
run=$1
prefix=$2
name="integ-links-$$"
root="$prefix/drive_c/$name"
win="C:\\$name"
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/Quellmoor Client" "$root/links"
printf 'MZ' > "$root/Quellmoor Client/DESKHubClient.exe"
printf 'icon' > "$root/Quellmoor Client/Brand.ico"
target="$win\\Quellmoor Client\\DESKHubClient.exe"
icon="$win\\Quellmoor Client\\Brand.ico"
fail=0

expect() {  # lnkinfo output, label, expected value ("" = the field must be absent)
    local value
    value=$(printf '%s\n' "$1" | sed -n "s/^[[:space:]]*$2[[:space:]]*: //p")
    if [ "$value" != "$3" ]; then
        echo "FAIL: $2: expected '${3:-absent}', got '${value:-absent}'"
        fail=1
    else
        echo "ok: $2 = '${3:-absent}'"
    fi
}

make_link() {  # target, folder (Windows), name, [icon]
    local out
    if ! out=$("$run" shortcut_maker.exe "$@" 2>&1); then
        echo "FAIL: shortcut_maker $*: $out"
        fail=1
    fi
}

make_link "$target" "$win\\links" "Quellmoor Client" "$icon"
file="$root/links/Quellmoor Client.lnk"
if [ -f "$file" ]; then
    info=$(lnkinfo "$file")
    expect "$info" "Local path" "$target"
    expect "$info" "Working directory" "$win\\Quellmoor Client\\"
    expect "$info" "Icon location" "$icon"
    expect "$info" "Icon index" "0"
    expect "$info" "Command line arguments" ""
    printf '%s\n' "$info" | grep -q 'Contains a command line arguments string' &&
        { echo "FAIL: the link carries arguments"; fail=1; }
else
    echo "FAIL: no link file $file"; fail=1
fi

# Without an icon the link holds no icon location; a name with ".lnk" inside
# but not at its end gets the extension appended.
make_link "$target" "$win\\links" "Plain.lnkPro"
file="$root/links/Plain.lnkPro.lnk"
if [ -f "$file" ]; then
    info=$(lnkinfo "$file")
    expect "$info" "Local path" "$target"
    expect "$info" "Working directory" "$win\\Quellmoor Client\\"
    expect "$info" "Icon location" ""
else
    echo "FAIL: no link file $file"; fail=1
fi
exit $fail
