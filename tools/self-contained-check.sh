#!/usr/bin/env bash
# The programs that go on a disc load nothing a GTK 3 desktop lacks:
#   - the libraries they name (ELF NEEDED) are glibc's, the GTK 3 stack's,
#     fontconfig's and FreeType's, and X11's (tessary-pack and pelorn: no GTK);
#   - everything `ldd` finds for them is loaded by those libraries anyway;
#   - no glibc symbol version above GLIBC_2.34, no GLIBCXX_ or CXXABI_ version
#     (the C++ runtime is inside).
# Prints each program's needs; exits 1 naming the first program that fails.
# Usage: tools/self-contained-check.sh PROGRAM...
set -euo pipefail

allowed='^(libc|libm|libpthread|libdl|librt|ld-linux-x86-64|ld-linux|libgtk-3|libgdk-3|libgobject-2\.0|libglib-2\.0|libgio-2\.0|libgmodule-2\.0|libcairo|libcairo-gobject|libgdk_pixbuf-2\.0|libpango-1\.0|libpangocairo-1\.0|libpangoft2-1\.0|libharfbuzz|libfontconfig|libfreetype|libX11|libxcb|libXext|libXrender)\.so'
highest_glibc=2.34
status=0

for program in "$@"; do
  name=$(basename "$program")
  needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  echo "$name needs: $(echo $needed)"
  outside=$(echo "$needed" | grep -Ev "$allowed" || true)
  if [ -n "$outside" ]; then
    echo "$name: FAILED: names libraries outside the desktop's: $(echo $outside)" >&2
    status=1
  fi

  # What ldd finds beyond what the allowed libraries load themselves.
  resolved() { ldd "$1" 2>/dev/null | awk '$2 == "=>" { print $1 }' | sort -u; }
  brought=$(resolved "$program")
  by_desktop=$(for library in $needed; do
    path=$(ldd "$program" | awk -v name="$library" '$1 == name { print $3 }')
    if [ -n "$path" ]; then
      echo "$library"
      resolved "$path"
    fi
  done | sort -u)
  extra=$(comm -23 <(echo "$brought") <(echo "$by_desktop"))
  missing=$(ldd "$program" | grep "not found" || true)
  if [ -n "$extra$missing" ]; then
    echo "$name: FAILED: ldd finds more than the desktop loads: $(echo $extra $missing)" >&2
    status=1
  fi

  versions=$(objdump -T "$program" | grep -oE '\((GLIBC|GLIBCXX|CXXABI|GCC)_[0-9.]+\)' | tr -d '()' | sort -u -V)
  echo "$name symbol versions: $(echo $versions)"
  if echo "$versions" | grep -qE '^(GLIBCXX|CXXABI)_'; then
    echo "$name: FAILED: needs the system's C++ runtime" >&2
    status=1
  fi
  newest=$(echo "$versions" | sed -n 's/^GLIBC_//p' | sort -V | tail -n1)
  if [ "$(printf '%s\n' "$newest" "$highest_glibc" | sort -V | tail -n1)" != "$highest_glibc" ]; then
    echo "$name: FAILED: needs GLIBC_$newest (at most GLIBC_$highest_glibc)" >&2
    status=1
  fi
done
exit $status
