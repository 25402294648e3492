#!/usr/bin/env bash
# 32-bit Wine is an i386 Linux program. Kernels built without 32-bit support
# (IA32 emulation) refuse to start it ("Exec format error"); there this
# script has the kernel hand i386 programs to qemu's user-mode emulator
# through binfmt_misc. Does nothing where i386 programs already run.
set -euo pipefail

probe=/usr/lib/wine/wine
if "$probe" --version >/dev/null 2>&1; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
if ! command -v qemu-i386-static >/dev/null; then
  echo "Installing qemu-user-static: this kernel cannot run i386 programs" >&2
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 \
    install -y -qq --no-install-recommends qemu-user-static
fi

binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
fi
if [ ! -e "$binfmt/qemu-i386" ]; then
  # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386).
  # F: the emulator is opened now, so it is found from any mount namespace.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s' ":qemu-i386:M::$magic:$mask:$(command -v qemu-i386-static):F" |
    "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null
fi
"$probe" --version >/dev/null
echo "i386 programs run through $(command -v qemu-i386-static)"
