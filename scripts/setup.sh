#!/usr/bin/env bash
# Installs what building, testing and the demo need on a Debian 12 machine.
# Idempotent: when everything is present it only checks and returns in seconds.
set -euo pipefail

packages=(
  cmake ninja-build python3 openssl
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 winbind
  googletest lzma-dev 7zip
  xvfb xauth x11-utils xdotool imagemagick fonts-wqy-microhei
  clang libclang-rt-14-dev curl aria2 locales
)

# Wine takes a program's ANSI code page from the Unix locale, so the tests need
# a Chinese one (code page 936) and another one to compare with.
need_locales() {
  local have; have=$(locale -a 2>/dev/null)
  ! grep -qx zh_CN.utf8 <<<"$have" || ! grep -qx en_US.utf8 <<<"$have"
}
make_locales() {
  sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\|en_US.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  grep -q '^en_US.UTF-8 UTF-8' /etc/locale.gen || echo 'en_US.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  need_locales && make_locales
  exit 0
fi

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
make_locales
