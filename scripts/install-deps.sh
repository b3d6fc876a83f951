#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages only. Idempotent: it does
# nothing when everything is already there. Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  g++-multilib cmake make binutils
  openjdk-17-jdk-headless openjdk-17-jdk-headless:i386
  android-liblog-dev android-liblog-dev:i386
  libgtest-dev libgtest-dev:i386
  clang-format
  tmux
)
packages+=("$@")

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  as_root apt-get update -q
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root apt-get update -q
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
