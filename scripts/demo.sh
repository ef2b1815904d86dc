#!/usr/bin/env bash
# The newcomer's first command: builds everything and the release package
# (Uninstall.exe, the stand-in clients and COM server, the release manifest),
# unpacks it as a user would, creates a throwaway Wine prefix cut off from
# this machine, installs with a stand-in client running, shows what the
# install did (log, registry, installed-apps entry, links, install folder),
# uninstalls quietly and shows what is left.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
# The release package, with the stand-ins as the client's files.
cmake --build --preset windows --target package >/dev/null
bin="$top/build/windows/bin"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/windows/CPackConfig.cmake)
release="QuellmoorClient-$version-win64"

prefix=$(mktemp -d /tmp/installer-demo.XXXXXX)
trap 'WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
echo "== Creating a throwaway Wine prefix in $prefix"
bash scripts/make-prefix.sh "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
c="$prefix/drive_c"
user_dir=$(ls -d "$c"/users/* | grep -v '/Public$' | head -n 1)
roaming="$user_dir/AppData/Roaming"
install="$roaming/QuellmoorClient"
log="$roaming/HLXBasicClientLog.txt"

payload="$c/Downloads/$release"
echo "== Unpacking the release package $release.zip into C:\\Downloads"
unzip -q "$top/build/windows/package/$release.zip" -d "$c/Downloads"
(cd "$payload" && find . -type f | sort | sed 's|^\./|   |')
echo "== A brand archive (Brand.ini, Brand.ico) named in HKCU\\Software\\Quellmoor\\DeskHubClient\\Setup"
cp "$bin/e2e_brand.zip" "$c/Downloads/HarbourBrand.zip"
(cd "$c" && wine reg add 'HKCU\Software\Quellmoor\DeskHubClient\Setup' /v BrandFileLocation \
    /d 'C:\Downloads\HarbourBrand.zip' /f >/dev/null 2>&1)
echo "   BrandFileLocation = C:\Downloads\HarbourBrand.zip"

echo "== The user's client settings from an earlier version: %APPDATA%\\N4Client\\mysettings.xml"
mkdir -p "$roaming/N4Client"
printf '<settings server="rdp.example.test"/>' > "$roaming/N4Client/mysettings.xml"

cd "$c"
if [ -f "$payload/VuClient.exe" ]; then
    echo "== Starting a stand-in client (an older VuClient.exe already installed would be running)"
    mkdir -p "$c/OldClient"
    cp "$payload/VuClient.exe" "$c/OldClient/"
    wine 'C:\OldClient\VuClient.exe' >/dev/null 2>&1 &
    sleep 2
fi

echo "== Installing: Uninstall.exe -i"
wine "C:\\Downloads\\$release\\Uninstall.exe" -i
echo "   exit code $?"
# The restarted client keeps running; give the installer's last child runs a moment.
sleep 2

show_log() {
    echo "== The log ($1), decoded from UTF-16"
    iconv -f UTF-16LE -t UTF-8 "$log" | tr -d '\r' | sed 's/^/   /'
}
show_log "after the install"

echo "== Install folder %APPDATA%\\QuellmoorClient"
if [ -d "$install" ]; then (cd "$install" && find . | sort | sed 's|^\./|   |'); else echo "   (missing)"; fi
echo "== Installer folder C:\\Downloads\\$release"
[ -d "$payload" ] && echo "   still there" || echo "   gone (moved into the install folder)"

echo "== What the stand-in clients recorded (start, window, close, exit)"
for records in "$c/OldClient/stand_in_client.log" "$install/stand_in_client.log"; do
    [ -f "$records" ] || continue
    echo "   ${records#$c/}:"
    cut -f1-5 "$records" | tr -d '\r' | sed 's/^/     /'
done

echo "== BrandFileLocation after the install"
wine reg query 'HKCU\Software\Quellmoor\DeskHubClient\Setup' /v BrandFileLocation >/dev/null 2>&1 \
    && echo "   still set" || echo "   deleted (the brand was applied)"

echo "== Registry: HKCU\\Software\\Classes entries of the client"
for key in '.n4a' 'VuClient.Document' 'kivclient' 'MIME\Database\Content Type\application/x-n4a'; do
    wine reg query "HKCU\\Software\\Classes\\$key" /s 2>/dev/null | tr -d '\r' | sed '/^$/d; s/^/   /' || echo "   $key: (none)"
done

echo "== The installed-apps entry (Settings > Apps)"
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuellmoorClient' 2>/dev/null \
    | tr -d '\r' | sed '/^$/d; s/^/   /'

echo "== Links"
find "$user_dir" -name '*.lnk' | while read -r lnk; do
    echo "   ${lnk#$c/}"
    if command -v lnkinfo >/dev/null; then
        lnkinfo "$lnk" 2>/dev/null | grep -E 'Local path|Working directory|Icon location' | sed 's/^\s*/      /'
    fi
done

echo "== Uninstalling: Uninstall.exe -u -q (the installed uninstaller)"
: > /dev/null
wine "$(printf 'C:\\users\\%s\\AppData\\Roaming\\QuellmoorClient\\Uninstall.exe' "$(basename "$user_dir")")" -u -q || true
timeout 30 wineserver -w || true
show_log "after the uninstall"

echo "== What is left"
[ -d "$install" ] && { echo "   install folder still holds:"; (cd "$install" && find . | sed 's/^/     /'); } \
    || echo "   install folder: gone"
echo "   kept: %APPDATA%\\N4Client holds $(cd "$roaming/N4Client" 2>/dev/null && ls | tr '\n' ' ')"
left=$(find "$user_dir" -name '*.lnk' | wc -l)
echo "   links: $left"
wine reg query 'HKCU\Software\Classes\kivclient' >/dev/null 2>&1 && echo "   URL scheme: still registered" \
    || echo "   URL scheme: removed"
wine reg query 'HKCU\Software\Classes\.n4a' >/dev/null 2>&1 && echo "   .n4a: still registered" \
    || echo "   .n4a: removed"
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuellmoorClient' >/dev/null 2>&1 \
    && echo "   installed-apps entry: still there" || echo "   installed-apps entry: removed"
echo "   the log stays: $(iconv -f UTF-16LE -t UTF-8 "$log" | grep -c . ) lines"
echo "== Done"
