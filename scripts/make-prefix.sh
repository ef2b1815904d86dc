#!/usr/bin/env bash
# Creates (or checks) a throwaway Wine prefix for tests and the demo:
# null display driver, no desktop menu entries, no Mono/Gecko prompts, and cut
# off from the Linux machine: the profile folders that Wine links to the Linux
# home become real folders and the drive Z: (the Linux root) is removed.
# Usage: make-prefix.sh PREFIX
set -euo pipefail
prefix=$(realpath -m "$1")
export WINEPREFIX="$prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

if [ ! -f "$prefix/.ready" ]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
fi

# Wine may recreate these links when it updates a prefix, so cut them every time.
for user_dir in "$prefix"/drive_c/users/*; do
    for link in "$user_dir"/*; do
        if [ -L "$link" ]; then
            rm -f "$link"
            mkdir -p "$link"
        fi
    done
done
rm -f "$prefix/dosdevices/z:"

# Drive Y: is a folder on another file system (memory-backed), one per prefix,
# so that tests meet real moves across volumes. Fresh with every new prefix.
# Tests that need it skip themselves when it is missing.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    drive_y="/dev/shm/wine-drive-y-$(printf '%s' "$prefix" | md5sum | cut -c1-16)"
    if [ ! -f "$prefix/.ready" ]; then
        rm -rf "$drive_y"
    fi
    mkdir -p "$drive_y"
    ln -sfn "$drive_y" "$prefix/dosdevices/y:"
fi
mkdir -p "$prefix/drive_c/bin"
touch "$prefix/.ready"
