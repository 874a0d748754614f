#!/usr/bin/env bash
# Installs what the build and both test tiers need on Debian 12 (as root).
# Only Debian's own packages: nothing is downloaded from anywhere else.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev g++-mingw-w64-x86-64-posix wine64 binutils-mingw-w64-x86-64
          clang libclang-rt-14-dev openssl osslsigncode)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages: ${missing[*]} (run as root, or install them)" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
