#!/usr/bin/env bash
# Runs `pelorn convert` over the shared corpus with the Linux build's pelorn
# and with pelorn.exe under Wine, and compares them: for every conversion the
# same exit status and the same message on stderr (less the \r Windows adds),
# and for every one that succeeds a byte-identical output file.
#
# Usage: tools/win32-corpus-check.sh LINUX_PELORN PELORN_EXE CORPUS WORK [FORM...]
#   FORMS default to every output form. The Wine environment (WINEPREFIX,
#   WINEARCH, ...) comes from the caller. All conversions of the Windows side
#   run from one batch file, so Wine starts once.
set -euo pipefail

linux_pelorn=$(realpath "$1")
pelorn_exe=$(realpath "$2")
corpus=$(realpath "$3")
work=$4
shift 4
forms=("$@")
if [ ${#forms[@]} -eq 0 ]; then forms=(jpg png24 png8 bmp24 bmp8 bmp4 gif ppm); fi

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
# Each side works in its own folder holding a link to the corpus, so that both
# name every file by the same relative path (paths are part of messages).
for side in linux windows; do
  mkdir -p "$work/$side/out" "$work/$side/result"
  ln -s "$corpus" "$work/$side/corpus"
done

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

jobs=()
for folder in "$corpus"/*/; do
  format=$(basename "$folder")
  for file in "$folder"*; do
    [ -f "$file" ] || continue
    for form in "${forms[@]}"; do
      jobs+=("corpus/$format/$(basename "$file") $form")
    done
  done
done
echo "${#jobs[@]} conversions"

batch=$work/convert.bat
: >"$batch"
printf '@echo off\r\ncd /d %s\r\n' "$(windows_path "$work/windows")" >>"$batch"
exe=$(windows_path "$pelorn_exe")
index=0
for job in "${jobs[@]}"; do
  read -r input form <<<"$job"
  (cd "$work/linux" && { "$linux_pelorn" convert "$input" "out/$index" --form "$form" \
     2>"result/$index.err"; echo $? >"result/$index.status"; })
  printf '"%s" convert %s out/%d --form %s 2>result\\%d.err\r\necho %%ERRORLEVEL%%>result\\%d.status\r\n' \
    "$exe" "$input" "$index" "$form" "$index" "$index" >>"$batch"
  index=$((index + 1))
done

(cd "$work/windows" && wine cmd /c "$(windows_path "$batch")" >/dev/null 2>"$work/wine.log") || true

failures=0
succeeded=0
index=0
for job in "${jobs[@]}"; do
  problem=""
  if [ ! -f "$work/windows/result/$index.status" ]; then
    problem="did not run under Wine"
  else
    linux_status=$(cat "$work/linux/result/$index.status")
    windows_status=$(tr -d '\r ' <"$work/windows/result/$index.status")
    if [ "$linux_status" != "$windows_status" ]; then
      problem="exit status $linux_status on Linux, $windows_status on Windows"
    elif ! cmp -s "$work/linux/result/$index.err" <(tr -d '\r' <"$work/windows/result/$index.err"); then
      problem="messages differ: $(head -c 200 "$work/linux/result/$index.err") / $(tr -d '\r' <"$work/windows/result/$index.err" | head -c 200)"
    elif [ "$linux_status" = 0 ]; then
      if ! cmp -s "$work/linux/out/$index" "$work/windows/out/$index"; then
        problem="outputs differ"
      else
        succeeded=$((succeeded + 1))
      fi
    fi
  fi
  if [ -n "$problem" ]; then
    echo "FAIL $job: $problem"
    failures=$((failures + 1))
  fi
  index=$((index + 1))
done
echo "${#jobs[@]} conversions compared: $succeeded identical outputs," \
  "$((${#jobs[@]} - succeeded - failures)) identical failures, $failures differences"
[ "$failures" -eq 0 ]
