#!/usr/bin/env bash
# Runs `pelorn convert` over the shared corpus with the Linux build's pelorn
# and with the Windows build under Wine, and compares them: for every
# conversion the same exit status and the same message on stderr (less the
# \r Windows adds), and for every one that succeeds a byte-identical output.
#
# Every file is converted to PPM, every ALL_FORMS-th (default 10) to every
# form, and every JPEG also to a PPM turned upright by its EXIF orientation. Every conversion runs on the Windows side in pelorn_batch.exe (the tool's
# own code, one process for all: a Wine process start is costly, minutes
# under qemu); every SAMPLE-th one (default 500; the first included) also runs
# as pelorn.exe itself.
#
# Usage: tools/win32-corpus-check.sh WIN32_BIN LINUX_PELORN CORPUS WORK [FORM...]
#   WIN32_BIN holds pelorn.exe and pelorn_batch.exe. FORMs default to every
#   output form. SAMPLE and ALL_FORMS in the environment; the Wine settings
#   (WINEPREFIX, WINEARCH, ...) come from the caller.
set -euo pipefail

win32_bin=$(realpath "$1")
linux_pelorn=$(realpath "$2")
corpus=$(realpath "$3")
work=$4
shift 4
forms=("$@")
if [ ${#forms[@]} -eq 0 ]; then forms=(jpg png24 png8 bmp24 bmp8 bmp4 gif ppm); fi
sample=${SAMPLE:-500}
all_forms=${ALL_FORMS:-10}

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
# Each side works in its own folder holding a link to the corpus, so that all
# name every file by the same relative path (paths are part of messages).
sides=(linux batch exe)
for side in "${sides[@]}"; do
  mkdir -p "$work/$side/out" "$work/$side/result"
  ln -s "$corpus" "$work/$side/corpus"
done

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Every file is converted to PPM (the decoded pixels exactly); every
# ALL_FORMS-th file of each folder, its first included, to every form asked for.
jobs=()
for folder in "$corpus"/*/; do
  format=$(basename "$folder")
  number=0
  for file in "$folder"*; do
    [ -f "$file" ] || continue
    file_forms=(ppm)
    if [ $((number % all_forms)) -eq 0 ]; then file_forms=("${forms[@]}"); fi
    # JPEGs are also turned upright by their EXIF orientation.
    if [ "$format" = jpeg ]; then file_forms+=(ppm-upright); fi
    for form in "${file_forms[@]}"; do
      jobs+=("corpus/$format/$(basename "$file") $form")
    done
    number=$((number + 1))
  done
done

# The conversion's options for a job's form ("ppm-upright": a PPM turned
# upright), one to a line.
form_options() {
  if [ "$1" = ppm-upright ]; then
    printf '%s\n' --form ppm --auto-orient
  else
    printf '%s\n' --form "$1"
  fi
}

list=$work/batch/jobs.txt
: >"$list"
sampled=()
index=0
for job in "${jobs[@]}"; do
  read -r input form <<<"$job"
  mapfile -t options < <(form_options "$form")
  status=0
  (cd "$work/linux" && "$linux_pelorn" convert "$input" "out/$index" "${options[@]}" \
     2>"result/$index.err") || status=$?
  echo "$status" >"$work/linux/result/$index.status"
  (IFS=$'\t'; printf '%d\tconvert\t%s\tout/%d\t%s\n' "$index" "$input" "$index" "${options[*]}") \
    >>"$list"
  if [ $((index % sample)) -eq 0 ]; then sampled+=("$index"); fi
  index=$((index + 1))
done
echo "${#jobs[@]} conversions; ${#sampled[@]} of them also by pelorn.exe"

start=$SECONDS
(cd "$work/batch" && wine "$(windows_path "$win32_bin/pelorn_batch.exe")" jobs.txt) || true
echo "pelorn_batch.exe: $((SECONDS - start))s"
start=$SECONDS
for index in "${sampled[@]}"; do
  read -r input form <<<"${jobs[$index]}"
  mapfile -t options < <(form_options "$form")
  status=0
  (cd "$work/exe" && wine "$(windows_path "$win32_bin/pelorn.exe")" convert "$input" "out/$index" \
     "${options[@]}" 2>"result/$index.err") || status=$?
  echo "$status" >"$work/exe/result/$index.status"
done
echo "pelorn.exe: $((SECONDS - start))s"

# Compares one Windows side's result of one job with Linux's; prints the
# difference, nothing when they agree.
compare() {
  local side=$1 index=$2
  local linux=$work/linux windows=$work/$side
  if [ ! -f "$windows/result/$index.status" ]; then
    echo "did not run"
    return
  fi
  local linux_status windows_status
  linux_status=$(cat "$linux/result/$index.status")
  windows_status=$(tr -d '\r ' <"$windows/result/$index.status")
  if [ "$linux_status" != "$windows_status" ]; then
    echo "exit status $linux_status on Linux, $windows_status on Windows"
  elif ! cmp -s "$linux/result/$index.err" <(tr -d '\r' <"$windows/result/$index.err"); then
    echo "messages differ: '$(head -c 200 "$linux/result/$index.err")' '$(tr -d '\r' <"$windows/result/$index.err" | head -c 200)'"
  elif [ "$linux_status" = 0 ] && ! cmp -s "$linux/out/$index" "$windows/out/$index" &&
       ! same_but_png_time "$linux/out/$index" "$windows/out/$index"; then
    echo "outputs differ"
  fi
}

# True when both files are PNGs equal chunk for chunk but for the contents of
# tIME, the time of writing (the two sides run at different times).
same_but_png_time() {
  python3 - "$1" "$2" <<'PYTHON'
import struct, sys

def chunks_without_time(path):
    data = open(path, "rb").read()
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        return None
    chunks, at = [], 8
    while at + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        chunks.append((kind, b"" if kind == b"tIME" and length == 7 else body))
        at += 12 + length
    return chunks + [data[at:]]

first, second = (chunks_without_time(path) for path in sys.argv[1:3])
sys.exit(0 if first is not None and first == second else 1)
PYTHON
}

# Files on which the Windows build is known to differ, and why.
declare -A known=(
  # Debian's Linux libtiff has the WebP and LZMA codecs; the Windows build's
  # libtiff has JPEG and Deflate only.
  [corpus/tiff/libtiff_webp_lossless_rgba_alpha_fully_opaque.tif]="no WebP codec"
  [corpus/tiff/pillow_hopper_webp.tif]="no WebP codec"
  [corpus/tiff/pillow_hopper_lzma.tif]="no LZMA codec"
  # 65535 samples per pixel: a strip's size overflows libtiff's 32-bit
  # tmsize_t, so libtiff refuses the directory and the file does not open;
  # in 64 bits it opens and the library's memory bound refuses it.
  [corpus/tiff/pillow_libtiff_segfault.tif]="strip size past 32 bits"
)

failures=0
for side in batch exe; do
  identical=0 failed_alike=0 compared=0
  index=0
  for job in "${jobs[@]}"; do
    if [ "$side" = batch ] || [ $((index % sample)) -eq 0 ]; then
      compared=$((compared + 1))
      problem=$(compare "$side" "$index")
      read -r input _ <<<"$job"
      if [ -n "$problem" ] && [ -n "${known[$input]:-}" ]; then
        echo "KNOWN ($side) $job: $problem (${known[$input]})"
      elif [ -n "$problem" ]; then
        echo "FAIL ($side) $job: $problem"
        failures=$((failures + 1))
      elif [ "$(cat "$work/linux/result/$index.status")" = 0 ]; then
        identical=$((identical + 1))
      else
        failed_alike=$((failed_alike + 1))
      fi
    fi
    index=$((index + 1))
  done
  echo "$side: $compared conversions compared, $identical identical outputs," \
    "$failed_alike identical failures (status and message)"
done
echo "$failures differences"
[ "$failures" -eq 0 ]
