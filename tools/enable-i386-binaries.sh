#!/usr/bin/env bash
# 32-bit Wine is an i386 Linux program. Kernels built without 32-bit support
# (IA32 emulation) refuse to start it ("Exec format error"); there this
# script has the kernel hand i386 programs to qemu's user-mode emulator
# through binfmt_misc. Does nothing where i386 programs run natively.
#
# The emulator must be qemu 8.1 or later: before it, every mmap of the guest
# searched the reserved address space page by page, and Wine maps thousands
# of times while a process starts, so each Wine process took a minute or
# more (bookworm has 7.2). The newer one comes from Debian's
# bookworm-backports, whose qemu-user package is unpacked (its emulators are
# static programs) into /usr/local/lib/tessary-qemu; nothing else changes on
# the machine. The backports source is present only while this runs.
set -euo pipefail

probe=/usr/lib/wine/wine
binfmt=/proc/sys/fs/binfmt_misc
emulator_dir=/usr/local/lib/tessary-qemu
emulator=$emulator_dir/qemu-i386

if [ ! -e "$binfmt/qemu-i386" ] && "$probe" --version >/dev/null 2>&1; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
apt_options=(-o DPkg::Lock::Timeout=600)

# "qemu-i386 version 10.0.2 (...)" -> 0 when at least 8.1.
recent_enough() {
  local version
  version=$("$1" --version 2>/dev/null | sed -n 's/.*version \([0-9]*\.[0-9]*\).*/\1/p' | head -1)
  [ -n "$version" ] && printf '8.1\n%s\n' "$version" | sort -V -C
}

fetch_emulator() {
  local source_list=/etc/apt/sources.list.d/tessary-qemu-backports.sources
  local work
  work=$(mktemp -d)
  # shellcheck disable=SC2064
  trap "${sudo_cmd[*]} rm -f $source_list; rm -rf $work" RETURN
  "${sudo_cmd[@]}" tee "$source_list" >/dev/null <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  "${sudo_cmd[@]}" apt-get "${apt_options[@]}" update -qq \
    -o Dir::Etc::sourcelist="$source_list" -o Dir::Etc::sourceparts=- \
    -o APT::Get::List-Cleanup=0
  (cd "$work" && apt-get download -qq qemu-user/bookworm-backports 2>&1 | grep -v unsandboxed || true)
  dpkg-deb -x "$work"/qemu-user_*.deb "$work/root"
  "${sudo_cmd[@]}" install -D -m 755 "$work/root/usr/bin/qemu-i386" "$emulator"
}

if ! recent_enough "$emulator"; then
  echo "Fetching qemu-user from bookworm-backports: this kernel cannot run i386 programs" >&2
  fetch_emulator
fi
recent_enough "$emulator"

if [ ! -e "$binfmt/register" ]; then
  "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
fi
if [ -e "$binfmt/qemu-i386" ] && ! grep -qx "interpreter $emulator" "$binfmt/qemu-i386"; then
  # An older emulator is registered: replace it.
  echo -1 | "${sudo_cmd[@]}" tee "$binfmt/qemu-i386" >/dev/null
fi
if [ ! -e "$binfmt/qemu-i386" ]; then
  # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386).
  # F: the emulator is opened now, so it is found from any mount namespace.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s' ":qemu-i386:M::$magic:$mask:$emulator:F" |
    "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null
fi
"$probe" --version >/dev/null
echo "i386 programs run through $("$emulator" --version | head -1)"
