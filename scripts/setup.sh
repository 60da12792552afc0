#!/bin/sh
# Installs everything the build and the tests need on a Debian machine.
# Safe to run again: every step checks before it acts.
set -eu

need_apt=""
# osslsigncode and openssl: Authenticode signing in make-dist.sh and its test.
pkgs="cmake g++ make libgtest-dev libgmock-dev mingw-w64 wine wine64 fonts-wine xvfb imagemagick x11-utils python3 clang-tidy cppcheck osslsigncode openssl"
for p in $pkgs; do
    dpkg -s "$p" >/dev/null 2>&1 || need_apt="$need_apt $p"
done

# 32-bit Wine runs through qemu user emulation on this kernel.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    need_update=1
fi
# Wine's preloader is packaged apart in Debian. Without it every 32-bit
# process start under qemu spends about 50 s reserving address space (qemu
# takes MAP_FIXED_NOREPLACE as a mere hint, so Wine's reservation splits the
# upper 2 GB into 64 KB pieces); with it a start takes a few seconds.
for p in wine32:i386 wine32-preloader:i386 qemu-user-static; do
    dpkg -s "$p" >/dev/null 2>&1 || need_apt="$need_apt $p"
done

if [ -n "$need_apt" ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends $need_apt
fi

# binfmt entry so that i386 ELF binaries (32-bit Wine) start under qemu.
if [ ! -e /proc/sys/fs/binfmt_misc/status ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
fi
if [ -e /proc/sys/fs/binfmt_misc/register ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
        > /proc/sys/fs/binfmt_misc/register 2>/dev/null || echo "setup: could not register the qemu-i386 binfmt entry (32-bit Wine unavailable)" >&2
fi
echo "setup: done"
