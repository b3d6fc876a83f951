#!/usr/bin/env bash
# Installs what `make test-abis` needs on top of scripts/install-deps.sh, from Debian's packages
# only: clang, the cross binutils and C libraries, qemu user-mode emulation, the arm64 and armhf
# Java VMs, logging and readline libraries; then unpacks libc++, libc++abi and LLVM's libunwind
# of arm64, armhf and i386 into build/libcxx/<arch>. Idempotent: when everything is there it
# calls no apt-get and needs no root (the unpacking needs no root either).
#
# The cross g++ packages are left out on purpose: they conflict with g++-multilib, which the
# 32-bit x86 build needs. clang with --target and the cross C libraries do the same job.
# libc++ is unpacked rather than installed because the -dev packages of several architectures
# claim the same file and cannot be installed side by side.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh \
  clang-14 \
  binutils-aarch64-linux-gnu binutils-arm-linux-gnueabihf \
  libc6-dev-arm64-cross libc6-dev-armhf-cross \
  libstdc++-12-dev-arm64-cross libstdc++-12-dev-armhf-cross \
  libgcc-12-dev-arm64-cross libgcc-12-dev-armhf-cross \
  qemu-user file \
  openjdk-17-jre-headless:arm64 openjdk-17-jre-headless:armhf \
  android-liblog-dev:arm64 android-liblog-dev:armhf \
  libreadline-dev:arm64 libreadline-dev:armhf

for arch in arm64 armhf i386; do
  target=build/libcxx/$arch
  lib=$target/usr/lib/llvm-14/lib
  [ -f "$lib/libc++.a" ] && [ -f "$lib/libc++abi.a" ] && [ -f "$lib/libunwind.a" ] && continue
  rm -rf "$target" && mkdir -p "$target/debs"
  echo "Unpacking libc++, libc++abi and libunwind of $arch into $target"
  # apt's download sandbox user needs to write the folder.
  (cd "$target/debs" && chmod 777 . &&
    apt-get download -q libc++-14-dev:$arch libc++abi-14-dev:$arch libunwind-14-dev:$arch)
  for deb in "$target"/debs/*.deb; do dpkg-deb -x "$deb" "$target"; done
  rm -rf "$target/debs"
done
