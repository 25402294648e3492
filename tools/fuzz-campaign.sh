#!/usr/bin/env bash
# A fuzzing campaign: builds the fuzz tree (clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer, linked with the codec libraries built the
# same way by tools/build-fuzz-deps.sh), runs every target (or those named)
# for a given time, a few at a time, keeps each finding and its minimised
# form under build-fuzz/findings/<target>/, and prints a table: target, runs,
# runs per second, coverage (edges), findings, slow units. Exits 1 when there
# was any finding (a crash, a breach of the memory limit, a leak).
#
# Each run has a malloc limit just above the memory bound of one picture
# (1 GiB): an allocation past it is a finding. A corpus grows in
# build-fuzz/corpus/<target>/ from the target's seeds (fuzz/seeds/<target>/)
# and is kept for the next campaign; fuzz/dictionaries/<target>.dict, or the
# dictionary of the format the name starts with (jpeg_file: jpeg.dict), is
# passed where there is one.
#
# Usage: tools/fuzz-campaign.sh [--time SECONDS] [--parallel N] [--seeds-only] [TARGET...]
#   --time SECONDS  how long each target runs (default 300)
#   --parallel N    targets running at once (default 2)
#   --seeds-only    start from the seeds alone and keep no corpus (as CI does)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=300
parallel=2
seeds_only=0
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --time) seconds=$2; shift 2 ;;
    --parallel) parallel=$2; shift 2 ;;
    --seeds-only) seeds_only=1; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done

build=$root/build-fuzz
malloc_limit_mb=1100
rss_limit_mb=2048
unit_timeout_seconds=60
minimise_seconds=60

prefix=$("$root/tools/build-fuzz-deps.sh" | tail -1)
mkdir -p "$build"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_PREFIX_PATH="$prefix" \
  -DTESSARY_GTK=OFF -DTESSARY_BENCH=OFF "${launcher[@]}" >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
nice cmake --build "$build" --target fuzz_targets -j"${JOBS:-2}" >"$build/build.log" 2>&1 ||
  { tail -50 "$build/build.log" >&2; exit 1; }
# The codecs inside the targets are the instrumented ones, not the system's.
defines() { nm "$build/bin/fuzz_$1" | grep -c " T $2\$" >/dev/null; }
if ! defines png png_read_info || ! defines tiff TIFFReadDirectory ||
   ! defines jpeg_file jpeg_read_header; then
  echo "The fuzz targets are not linked with the instrumented codec libraries of $prefix" >&2
  exit 1
fi

if [ ${#targets[@]} -eq 0 ]; then
  for program in "$build"/bin/fuzz_*; do targets+=("${program##*/fuzz_}"); done
fi

dictionary_for() {
  local name=$1
  for candidate in "$name" "${name%%_*}"; do
    if [ -f "$root/fuzz/dictionaries/$candidate.dict" ]; then
      echo "-dict=$root/fuzz/dictionaries/$candidate.dict"
      return
    fi
  done
}

results=$build/campaign
rm -rf "$results"
mkdir -p "$results" "$build/findings"
started=$results/started
touch "$started"

run_target() {
  local name=$1
  local program=$build/bin/fuzz_$name
  local findings=$build/findings/$name
  local corpus=$build/corpus/$name
  if [ "$seeds_only" = 1 ]; then corpus=$results/corpus-$name; rm -rf "$corpus"; fi
  mkdir -p "$findings" "$corpus"
  local log=$results/$name.log
  local options=(-max_total_time="$seconds" -malloc_limit_mb="$malloc_limit_mb"
    -rss_limit_mb="$rss_limit_mb" -timeout="$unit_timeout_seconds" -print_final_stats=1
    -artifact_prefix="$findings/")
  local dictionary
  dictionary=$(dictionary_for "$name")
  if [ -n "$dictionary" ]; then options+=("$dictionary"); fi
  local seeds=()
  if [ -d "$root/fuzz/seeds/$name" ]; then seeds=("$root/fuzz/seeds/$name"); fi
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 nice "$program" "${options[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1 || true

  # The finding as found, and its smallest form that fails the same way. A
  # slow unit is kept as found: minimising it runs it again and again.
  local artifact
  for artifact in "$findings"/crash-* "$findings"/oom-* "$findings"/leak-*; do
    [ -f "$artifact" ] || continue
    case $artifact in *.minimised) continue ;; esac
    [ -f "$artifact.minimised" ] && continue
    UBSAN_OPTIONS=halt_on_error=1 nice "$program" -minimize_crash=1 -max_total_time="$minimise_seconds" \
      -malloc_limit_mb="$malloc_limit_mb" -rss_limit_mb="$rss_limit_mb" \
      -timeout="$unit_timeout_seconds" -exact_artifact_path="$artifact.minimised" "$artifact" \
      >"$results/$name.minimise.log" 2>&1 || true
  done
}

running=0
for name in "${targets[@]}"; do
  if [ ! -x "$build/bin/fuzz_$name" ]; then echo "no fuzz target $name" >&2; exit 2; fi
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "fuzzing $name for ${seconds}s" >&2
  run_target "$name" &
  running=$((running + 1))
done
wait

stat_of() { sed -n "s/^stat::$2: *//p" "$results/$1.log" | tail -1; }

# Made by this run: earlier artefacts stay in the folder and do not count.
count_new() {
  local kind count=0 artifact
  for kind in "$@"; do
    for artifact in "$build/findings/$name"/"$kind"-*; do
      [ -f "$artifact" ] || continue
      case $artifact in *.minimised) continue ;; esac
      [ "$artifact" -nt "$started" ] && count=$((count + 1))
    done
  done
  echo "$count"
}

# A crash, a breach of the memory limit or a leak is a finding. A unit over
# the time limit is kept and listed as slow, but does not fail the run: a few
# bytes may declare a picture within the 1 GiB bound, which the reader fills
# as designed, and filling a quarter of a gigapixel under the sanitizers
# takes about a minute.
total_findings=0
printf '%-16s %12s %8s %8s %9s %5s\n' target runs runs/s coverage findings slow
for name in "${targets[@]}"; do
  log=$results/$name.log
  runs=$(stat_of "$name" number_of_executed_units)
  per_second=$(stat_of "$name" average_exec_per_sec)
  # The last status line's edge count ("cov: N").
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  count=$(count_new crash oom leak)
  slow=$(count_new timeout)
  total_findings=$((total_findings + count))
  printf '%-16s %12s %8s %8s %9s %5s\n' "$name" "${runs:-?}" "${per_second:-?}" "${coverage:-?}" "$count" "$slow"
  if [ "$count" -gt 0 ]; then
    grep -m1 -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | sed 's/^/    /' || true
  fi
done
echo "logs in $results, findings in $build/findings"
[ "$total_findings" -eq 0 ]
