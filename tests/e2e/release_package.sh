#!/bin/sh
# Makes the release package three times with CPack (unsigned, signed with a
# PKCS#12 file, signed with a PEM certificate and key; the certificate is a
# throwaway made here with openssl), checks each zip against its .sha256 file,
# the unpacked files against the release manifest, and the signatures with
# osslsigncode; then installs the PKCS#12-signed release under Wine from the
# unpacked zip and uninstalls it through its QuietUninstallString.
# Usage: release_package.sh BUILD_DIR PREFIX
# Writes inside the prefix only (PREFIX/release-test, C:\releasecheck, the install). Exit 77: a tool is missing.
set -u
build=$(realpath "$1")
prefix=$(realpath "$2")
work="$prefix/release-test"
for tool in cpack osslsigncode openssl unzip sha256sum iconv; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work"
status=0
fail() { printf 'FAIL: %s\n' "$*"; status=1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quellmoor Test Signing" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 || fail "openssl req"
printf 'throwaway' > "$work/password.txt"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" \
    -passout "file:$work/password.txt" || fail "openssl pkcs12"

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
name="QuellmoorClient-$version-win64"

# package KIND [VARIABLE=VALUE...]: the package of that kind, unpacked and checked.
package() {
    kind=$1; shift
    out="$work/$kind"
    if ! env "$@" cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out.log" 2>&1; then
        fail "cpack ($kind):"; cat "$out.log"; return
    fi
    [ -f "$out/$name.zip" ] || { fail "no $name.zip ($kind)"; ls "$out"; return; }
    (cd "$out" && sha256sum -c --quiet "$name.zip.sha256") || fail "checksum file ($kind)"
    unzip -q "$out/$name.zip" -d "$out/unpacked" || fail "unzip ($kind)"
    release="$out/unpacked/$name"
    manifest="$release/Uninstall.release-manifest.txt"
    [ -f "$manifest" ] || { fail "no manifest ($kind)"; return; }
    listed=0
    while read -r hash size path; do
        case "$hash" in '#'*|'') continue ;; esac
        file="$release/$(printf '%s' "$path" | tr -d '\r' | tr '\\' '/')"
        listed=$((listed + 1))
        [ "$(stat -c %s "$file" 2>/dev/null)" = "$size" ] || fail "$kind: size of $path"
        [ "$(sha256sum "$file" | cut -d' ' -f1)" = "$hash" ] || fail "$kind: SHA-256 of $path"
    done < "$manifest"
    present=$(find "$release" -type f ! -name Uninstall.release-manifest.txt | wc -l)
    [ "$listed" -eq "$present" ] || fail "$kind: manifest lists $listed of $present files"
    for f in Uninstall.exe VuClient.exe DESKHubClient.exe KivClientSystem.dll; do
        [ -f "$release/$f" ] || fail "$kind: $f missing from the package"
    done
}

package unsigned
osslsigncode verify -in "$work/unsigned/unpacked/$name/Uninstall.exe" >/dev/null 2>&1 &&
    fail "the unsigned package's Uninstall.exe verifies"
package p12 RELEASE_SIGN_CERT="$work/cert.p12" RELEASE_SIGN_PASSWORD_FILE="$work/password.txt"
package pem RELEASE_SIGN_CERT="$work/cert.pem" RELEASE_SIGN_KEY="$work/key.pem"
for kind in p12 pem; do
    if ! osslsigncode verify -CAfile "$work/cert.pem" -in "$work/$kind/unpacked/$name/Uninstall.exe" \
            >"$work/verify-$kind.log" 2>&1; then
        fail "osslsigncode verify ($kind):"; cat "$work/verify-$kind.log"
    fi
done

# The signed release installs under Wine, run the way an administrator deploys it.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
c="$prefix/drive_c"
roaming=$(ls -d "$c"/users/*/AppData/Roaming | grep -v '/Public/' | head -n 1)
install="$roaming/QuellmoorClient"
log="$roaming/HLXBasicClientLog.txt"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuellmoorClient'
rm -rf "$c/releasecheck" "$install" "$log"
mkdir -p "$c/releasecheck"
cp -r "$work/p12/unpacked/$name" "$c/releasecheck/"
cd "$c"
wine "C:\\releasecheck\\$name\\Uninstall.exe" -i -q >/dev/null 2>&1 || fail "install exit code $?"
text=$(iconv -f UTF-16LE -t UTF-8 "$log" 2>/dev/null | tr -d '\r')
for line in "Release manifest C:\\releasecheck\\$name\\Uninstall.release-manifest.txt: all 4 listed files are present" \
            "Exiting client install (0X00000000)"; do
    printf '%s\n' "$text" | grep -qF -- "- $line" || fail "no log line '$line'"
done
[ -d "$c/releasecheck/$name" ] && fail "the release folder was not emptied and removed"
[ -f "$install/Uninstall.release-manifest.txt" ] || fail "manifest not in the install folder"
osslsigncode verify -CAfile "$work/cert.pem" -in "$install/Uninstall.exe" >/dev/null 2>&1 ||
    fail "the installed Uninstall.exe is not the signed one"
wine reg query "$key" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep -q "REG_SZ *$version.0$" ||
    fail "DisplayVersion is not $version.0"
# Wine's own list of installed applications reads the entry independently.
wine uninstaller --list 2>/dev/null | tr -d '\r' | grep -qx '.*|||Quellmoor Client' ||
    fail "Wine's uninstaller does not list Quellmoor Client"
quiet=$(wine reg query "$key" /v QuietUninstallString 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *QuietUninstallString *REG_SZ *//p')
[ -n "$quiet" ] || fail "no QuietUninstallString"
# The command line as written: the quoted program, then its switches.
program=$(printf '%s' "$quiet" | sed -n 's/^"\([^"]*\)" .*$/\1/p')
[ -n "$program" ] || fail "QuietUninstallString is not '\"program\" switches': $quiet"
# shellcheck disable=SC2086
wine "$program" ${quiet#\"$program\" } >/dev/null 2>&1
wine reg query "$key" >/dev/null 2>&1 && fail "the entry is still there after the uninstall"
for _ in $(seq 1 20); do [ -d "$install" ] || break; sleep 1; done
[ -d "$install" ] && fail "the install folder is still there"
[ "$status" -ne 0 ] && printf '%s\n' "$text"

rm -rf "$c/releasecheck" "$install" "$log"
# The throwaway key goes with the packages; kept for a look after a failure.
[ "$status" -eq 0 ] && rm -rf "$work"
[ "$status" -eq 0 ] && echo "packages made, checked and signed; the signed release installed and uninstalled"
exit "$status"
