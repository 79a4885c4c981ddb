#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: when
# everything is present it only checks and returns.
set -euo pipefail

native=(build-essential cmake pkg-config git googletest libgtest-dev libbenchmark-dev
        libpng-dev libfreetype-dev fonts-dejavu-core clang libclang-rt-14-dev)
# The Windows DLL and Wine; g++-multilib and qemu-user for the 32-bit Linux
# build that stands in where Wine cannot run 32-bit programs.
windows=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 g++-multilib qemu-user)

want=("${native[@]}")
if [ "${MARROWLINK_WINDOWS:-1}" != 0 ]; then
  want+=("${windows[@]}")
fi

missing=()
for package in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
