#!/bin/sh
# Sets up the brand's links inside the test prefix (brand_link_export.exe under
# C:\lnkcheck) and reads every link file back with lnkinfo, independently of
# the Windows shell: local path, working folder and icon location.
# Usage: check_links_with_lnkinfo.sh WINE_RUN PREFIX
# Writes only below the prefix's C:\lnkcheck, which it removes at the end.
set -u
wine_run=$1
root="$2/drive_c/lnkcheck"
rm -rf "$root"
status=0

if ! "$wine_run" brand_link_export.exe 'C:\lnkcheck'; then
    echo "brand_link_export.exe failed"
    status=1
fi

# check LINK_FILE LOCAL_PATH ICON_LOCATION
check() {
    if [ ! -f "$1" ]; then
        echo "missing link file: $1"
        status=1
        return
    fi
    info=$(lnkinfo "$1" 2>&1 | tr -d '\r')
    for expected in "Local path			: $2" 'Working directory		: C:\lnkcheck\Install\' \
                    "Icon location			: $3" "Icon index			: 0"; do
        if ! printf '%s\n' "$info" | grep -qxF "	$expected"; then
            echo "$1: no line '$expected' in:"
            printf '%s\n' "$info"
            status=1
        fi
    done
    if printf '%s\n' "$info" | grep -q 'Command line arguments'; then
        echo "$1: has arguments"
        status=1
    fi
}

client='C:\lnkcheck\Install\DESKHubClient.exe'
icon='C:\lnkcheck\Install\Branding\Brand.ico'
check "$root/Desktop/Harbour Desk Client.lnk" "$client" "$icon"
check "$root/Programs/Harbour Networks/Client/Harbour Desk.lnk" "$client" "$icon"
check "$root/Programs/Harbour Networks/Client/Uninstall.lnk" 'C:\lnkcheck\Install\Uninstall.exe' "$icon"

links=$(find "$root/Desktop" "$root/Programs" -name '*.lnk' | wc -l)
if [ "$links" -ne 3 ]; then
    echo "expected 3 link files, found $links:"
    find "$root/Desktop" "$root/Programs" -name '*.lnk'
    status=1
fi

rm -rf "$root"
[ "$status" -eq 0 ] && echo "all links read back as expected"
exit "$status"
