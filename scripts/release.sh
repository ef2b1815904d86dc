#!/usr/bin/env bash
# Makes the release package: installs what is missing, configures (the
# arguments go to CMake, for example -DRELEASE_CLIENT_DIR=/path/to/client
# -DRELEASE_SIGN_CERT=/path/to/cert.p12), builds and packages. Prints the zip,
# its .sha256 file and the release manifest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup-deps.sh
cmake --preset windows "$@" >/dev/null
cmake --build --preset windows --target package
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/windows/CPackConfig.cmake)
zip="build/windows/package/QuellmoorClient-$version-win64.zip"
echo "== $zip"
echo "== $zip.sha256: $(cat "$zip.sha256")"
echo "== Release manifest:"
unzip -p "$zip" "QuellmoorClient-$version-win64/Uninstall.release-manifest.txt" | tr -d '\r'
