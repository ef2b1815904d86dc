#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine: the MinGW-w64
# cross toolchain, zlib for Windows, Wine, GoogleTest's sources, the tools that
# make and read test archives and links, sign and check the release package
# (osslsigncode, openssl, unzip), and minizip's sources (taken from
# Debian's zlib source package, unpacked into third_party/minizip).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev
          wine64 wine googletest liblnk-utils zip unzip p7zip-full libarchive-tools python3
          osslsigncode openssl)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root=(); [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q "${missing[@]}"
fi

minizip="$top/third_party/minizip"
if [ ! -f "$minizip/unzip.c" ]; then
  echo "setup: fetching minizip from Debian's zlib source package"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/lists/partial"
  src_list=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -q '^Types:.*deb' "$f" && src_list="$f" && break
  done
  if [ -n "$src_list" ]; then
    sed 's/^Types: .*$/Types: deb-src/' "$src_list" > "$work/src.sources"
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "$work/src.list"
  fi
  apt_opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work"
            -o Dir::State::Lists="$work/lists" -o Debug::NoLocking=1)
  apt-get "${apt_opts[@]}" update -q >/dev/null
  # The newest version listed may be missing from its pool; try each in turn.
  got=""
  for v in $(apt-cache "${apt_opts[@]}" showsrc zlib | sed -n 's/^Version: //p' | sort -ru); do
    if (cd "$work" && apt-get "${apt_opts[@]}" source --download-only "zlib=$v" >/dev/null 2>&1); then
      got=$v; break
    fi
  done
  [ -n "$got" ] || { echo "setup: could not fetch zlib's source package" >&2; exit 1; }
  orig=$(ls "$work"/zlib_*.orig.tar.* | head -n 1)
  mkdir -p "$work/unpacked" "$minizip"
  tar -xf "$orig" -C "$work/unpacked"
  cp "$work"/unpacked/*/contrib/minizip/{unzip.c,unzip.h,ioapi.c,ioapi.h,crypt.h} "$minizip/"
  echo "setup: minizip sources in third_party/minizip"
fi
