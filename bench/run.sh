#!/usr/bin/env bash
# The LZH library against zip, 7-Zip and bsdtar, every figure taken in the same run:
#   -lh5- (the backup's default)  size against zip -r -6, speed against zip -r -6
#   -lh7-                         size against 7z a -tzip -mx=9, speed against zip -r -9
#   test and extract              all workers against one, and against bsdtar on the same archive
#   many small files              a backup of 100,000 files of 0.1-4 KiB in 1,000 folders against
#                                 zip -r -6; the unchanged second run against the first
#   Restore window's listing      the C functions (bench/listing_bench) against 7z l, and the
#                                 library's memory with and without 100,000 members
#   memory                        peak of a backup of one large file at two sizes (bounded)
# Usage: bench/run.sh [--quick | TREE_DIR] [--runs N] [--unlha PATH] [--no-small] [--big-mb N]
#   --quick      generate a small corpus (about 60 MB) in the work folder and use it
#   TREE_DIR     e.g. the pinned corpus tree (see README.md)
#   --runs N     median of N runs for every time (default 3; 7-Zip's size is taken once; test
#                and extract take 2N+1 turns each)
#   --no-small   leave out the small-file, listing and large-file parts
# Work files go to ${BENCH_WORK:-/tmp/marlo-lzh-bench}; extraction to ${BENCH_EXTRACT:-/dev/shm/
# marlo-lzh-bench} when /dev/shm exists (a file system in memory: the same for every tool, and
# free of the delays ext4 adds when a tree is made just after another was removed).
set -eu

runs=3
tree=""
unlha="${UNLHA:-}"
quick=0
small=1
big_mb=1024
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --runs) runs="$2"; shift ;;
    --unlha) unlha="$2"; shift ;;
    --no-small) small=0 ;;
    --big-mb) big_mb="$2"; shift ;;
    *) tree="$1" ;;
  esac
  shift
done
here="$(cd "$(dirname "$0")" && pwd)"
if [ -z "$unlha" ]; then
  for c in "$here/../build/lzh-bench/lzh/unlha" "$here/../build/lzh/unlha"; do
    [ -x "$c" ] && unlha="$c" && break
  done
fi
[ -x "$unlha" ] || { echo "unlha not found: build the 'unlha' target or pass --unlha PATH" >&2; exit 2; }
bench_bin="$(cd "$(dirname "$unlha")/../bench" 2>/dev/null && pwd || true)"
for t in zip 7z bsdtar; do
  command -v "$t" > /dev/null || { echo "$t is needed (scripts/install-deps installs it)" >&2; exit 2; }
done
work="${BENCH_WORK:-/tmp/marlo-lzh-bench}"
mkdir -p "$work"
if [ -d /dev/shm ]; then xdir="${BENCH_EXTRACT:-/dev/shm/marlo-lzh-bench}"; else xdir="${BENCH_EXTRACT:-$work/extract}"; fi
mkdir -p "$xdir"

# Cores left idle by everything else on the machine, from one second of /proc/stat.
free_cores() {
  local a b
  a=($(head -1 /proc/stat)); sleep 1; b=($(head -1 /proc/stat))
  local idle=$(( (b[4] + b[5]) - (a[4] + a[5]) )) total=0 i
  for i in 1 2 3 4 5 6 7 8; do total=$(( total + b[i] - a[i] )); done
  echo "scale=2; $(nproc) * $idle / $total" | bc -l
}
machine() { echo "$(nproc) cores, $(free_cores) free, load $(cut -d' ' -f1-3 /proc/loadavg)"; }

if [ "$quick" = 1 ] || [ -z "$tree" ]; then
  tree="$work/quick-tree"
  if [ ! -d "$tree" ]; then
    echo "generating a small corpus in $tree ..." >&2
    mkdir -p "$tree"
    # C++ headers, some documentation and one large binary: the pinned corpus in miniature.
    cp -r /usr/include/c++ "$tree/include" 2>/dev/null || true
    mkdir -p "$tree/doc"
    (find /usr/share/doc -type f -size -200k 2>/dev/null || true) | head -n 3000 > "$work/doc-list" || true
    while read -r f; do
      cp "$f" "$tree/doc/$(echo "$f" | tr '/' '_')" 2>/dev/null || true
    done < "$work/doc-list"
    big=$(ls -S /usr/lib/x86_64-linux-gnu/*.so* 2>/dev/null | head -1 || true)
    [ -n "$big" ] && head -c 20000000 "$big" > "$tree/big.so"
    find "$tree" -type l -delete
  fi
fi
tree="$(cd "$tree" && pwd)"
bytes=$(find "$tree" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
files=$(find "$tree" -type f | wc -l)
echo "tree: $tree  ($files files, $bytes bytes)"
echo "start: $(machine)"
echo

declare -A SIZE SPEED SECS MEM ALL
# time_cmd NAME INPUT_BYTES OUTPUT -- command...  Runs $runs times (RUNS overrides), keeps the
# median of every time taken under NAME so far and the largest peak memory; OUTPUT (a file, or -
# for none) gives the size. PREP, when set, runs before every run, untimed.
time_cmd() {
  local name="$1" in_bytes="$2" out="$3"; shift 4
  local t0 t1 mem="${MEM[$name]:-0}" n="${RUNS:-$runs}"
  for ((i = 0; i < n; i++)); do
    [ -n "$out" ] && [ "$out" != - ] && rm -f "$out"
    # What PREP removes the kernel finishes freeing in the background: let it, before timing.
    [ -n "${PREP:-}" ] && eval "$PREP" && sleep 0.5
    # The clock of the shell itself: no process started for it, so short runs are timed
    # without a fork and an exec of their own.
    t0=$EPOCHREALTIME
    /usr/bin/time -f '%M' -o "$work/mem" "$@" > /dev/null 2>&1 || { echo "$name failed" >&2; return 1; }
    t1=$EPOCHREALTIME
    ALL[$name]="${ALL[$name]:-} $(echo "$t1 - $t0" | bc -l)"
    read -r m < <(tail -1 "$work/mem")
    [ "$m" -gt "$mem" ] && mem=$m
  done
  SECS[$name]=$(printf '%s\n' ${ALL[$name]} | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  SPEED[$name]=$(echo "$in_bytes / ${SECS[$name]} / 1000000" | bc -l)
  MEM[$name]=$mem
  if [ -n "$out" ] && [ "$out" != - ]; then SIZE[$name]=$(stat -c %s "$out"); else SIZE[$name]=""; fi
}
# The runs of commands compared with each other take turns, so that whatever else the machine
# does meanwhile falls on all of them alike: rounds ROUNDS (default 2 * runs + 1) of one run each.
rounds() { echo "${ROUNDS:-$((2 * runs + 1))}"; }

# ---- compression ----------------------------------------------------------------------------
for ((r = 0; r < runs; r++)); do
  RUNS=1 time_cmd "ours lh5" "$bytes" "$work/ours5.lzh" -- "$unlha" a "$work/ours5.lzh" "$tree/*.*" -r -l0
  RUNS=1 time_cmd "ours lh5, 1 worker" "$bytes" "$work/ours5-1.lzh" -- "$unlha" a "$work/ours5-1.lzh" "$tree/*.*" -r -l0 -jp1
  RUNS=1 time_cmd "zip -6" "$bytes" "$work/zip6.zip" -- sh -c "cd '$tree' && zip -q -r -6 '$work/zip6.zip' ."
done
for ((r = 0; r < runs; r++)); do
  RUNS=1 time_cmd "ours lh7" "$bytes" "$work/ours7.lzh" -- "$unlha" a "$work/ours7.lzh" "$tree/*.*" -r -l0 -o7
  RUNS=1 time_cmd "zip -9" "$bytes" "$work/zip9.zip" -- sh -c "cd '$tree' && zip -q -r -9 '$work/zip9.zip' ."
done
RUNS=1 time_cmd "7z zip -mx=9" "$bytes" "$work/7z9.zip" -- sh -c "cd '$tree' && 7z a -tzip -mx=9 '$work/7z9.zip' ."

# ---- reading ----------------------------------------------------------------------------------
for ((r = 0; r < $(rounds); r++)); do
  RUNS=1 time_cmd "ours t" "$bytes" - -- "$unlha" t "$work/ours5.lzh" -l0
  RUNS=1 time_cmd "ours t, 1 worker" "$bytes" - -- "$unlha" t "$work/ours5.lzh" -l0 -jp1
  RUNS=1 time_cmd "bsdtar -xOf" "$bytes" - -- sh -c "bsdtar -xOf '$work/ours5.lzh' > /dev/null"
done
for ((r = 0; r < $(rounds); r++)); do
  PREP="rm -rf '$xdir/x'" RUNS=1 time_cmd "ours x" "$bytes" - -- "$unlha" x "$work/ours5.lzh" "$xdir/x/" -l0
  PREP="rm -rf '$xdir/x'" RUNS=1 time_cmd "ours x, 1 worker" "$bytes" - -- "$unlha" x "$work/ours5.lzh" "$xdir/x/" -l0 -jp1
  PREP="rm -rf '$xdir/x'; mkdir -p '$xdir/x'" RUNS=1 time_cmd "bsdtar -xf" "$bytes" - -- bsdtar -xf "$work/ours5.lzh" -C "$xdir/x"
done
rm -rf "$xdir/x"

# ---- many small files, the listing, a large file ---------------------------------------------------
if [ "$small" = 1 ]; then
  [ -x "$bench_bin/lzh_make_tree" ] && [ -x "$bench_bin/listing_bench" ] ||
    { echo "build lzh_make_tree and listing_bench (see README.md)" >&2; exit 2; }
  stree="$work/small-tree"
  [ -d "$stree" ] || { echo "generating 100,000 small files in $stree ..." >&2; "$bench_bin/lzh_make_tree" "$stree"; }
  sbytes=$(find "$stree" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
  # The backup run's own command line.
  for ((r = 0; r < runs; r++)); do
    RUNS=1 time_cmd "ours, small files" "$sbytes" "$work/small.lzh" -- "$unlha" u "$work/small.lzh" "\"$stree\"\\*.*" -x1 -r -l0
    RUNS=1 time_cmd "zip -6, small files" "$sbytes" "$work/small.zip" -- sh -c "cd '$stree' && zip -q -r -6 '$work/small.zip' ."
    RUNS=1 time_cmd "ours, unchanged again" "$sbytes" - -- "$unlha" u "$work/small.lzh" "\"$stree\"\\*.*" -x1 -r -l0
  done
  time_cmd "find over the tree" "$sbytes" - -- find "$stree"
  time_cmd "find -printf %T@" "$sbytes" - -- find "$stree" -printf '%T@\n'
  small_members=$("$unlha" l "$work/small.lzh" | tail -1 | awk '{print $4}')

  export LD_LIBRARY_PATH="$(dirname "$unlha")${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
  for ((r = 0; r < runs; r++)); do
    RUNS=1 time_cmd "ours, listing" "$sbytes" - -- "$bench_bin/listing_bench" "$work/small.lzh"
    RUNS=1 time_cmd "7z l" "$sbytes" - -- sh -c "7z l '$work/small.lzh' > /dev/null"
  done
  list_rows=$("$bench_bin/listing_bench" "$work/small.lzh" | sed -E 's/.*rows ([0-9]+) KB/\1/')
  list_lib_many=$("$bench_bin/listing_bench" "$work/small.lzh" --no-rows | sed -E 's/.*peak ([0-9]+) KB.*/\1/')
  list_lib_few=$("$bench_bin/listing_bench" "$work/ours5.lzh" --no-rows | sed -E 's/.*peak ([0-9]+) KB.*/\1/')
  corpus_members=$("$unlha" l "$work/ours5.lzh" | tail -1 | awk '{print $4}')

  # One large file, at two sizes: what a backup holds in memory must not grow with it.
  mkdir -p "$work/big"
  for mb in $((big_mb / 4)) "$big_mb"; do
    if [ "$(stat -c %s "$work/big/$mb.bin" 2>/dev/null || echo 0)" != $((mb << 20)) ]; then
      # The tree's files one after another, as often as it takes.
      reps=$(( (mb << 20) / bytes + 1 ))
      for ((i = 0; i < reps; i++)); do find "$tree" -type f -print0 | sort -z | xargs -0 cat 2>/dev/null; done |
        head -c $((mb << 20)) > "$work/big/$mb.bin" || true
    fi
    RUNS=1 time_cmd "ours lh5, one $mb MiB file" $((mb << 20)) "$work/big.lzh" -- "$unlha" a "$work/big.lzh" "$work/big/$mb.bin" -l0
    rm -f "$work/big.lzh"
  done
fi

echo "end: $(machine)"
echo
printf '%-28s %14s %9s %9s %10s\n' tool "output bytes" "seconds" "MB/s" "peak KB"
for name in "ours lh5" "ours lh5, 1 worker" "zip -6" "ours lh7" "zip -9" "7z zip -mx=9" \
            "ours t" "ours t, 1 worker" "bsdtar -xOf" "ours x" "ours x, 1 worker" "bsdtar -xf" \
            "ours, small files" "zip -6, small files" "ours, unchanged again" "find over the tree" \
            "find -printf %T@" "ours, listing" "7z l" "ours lh5, one $((big_mb / 4)) MiB file" \
            "ours lh5, one ${big_mb} MiB file"; do
  [ -n "${SECS[$name]:-}" ] || continue
  printf '%-28s %14s %9.3f %9.1f %10s\n' "$name" "${SIZE[$name]}" "${SECS[$name]}" "${SPEED[$name]}" "${MEM[$name]}"
done
echo

ratio() { printf '%.3f' "$(echo "$1 / $2" | bc -l)"; }
# verdict RATIO OP TARGET: "met" when RATIO OP TARGET holds.
verdict() { if [ "$(echo "$1 $2 $3" | bc -l)" = 1 ]; then echo met; else echo "not met"; fi; }
line() {  # line LABEL RATIO OP TARGET [NOTE]
  printf '%-46s %8s   target %s %-5s %-8s %s\n' "$1" "$2" "$3" "$4" "$(verdict "$2" "$3" "$4")" "${5:-}"
}
line "lh5 size / zip -6 size" "$(ratio "${SIZE[ours lh5]}" "${SIZE[zip -6]}")" "<=" 1
line "lh5 speed / zip -6 speed" "$(ratio "${SPEED[ours lh5]}" "${SPEED[zip -6]}")" ">=" 1.5
line "lh7 size / 7z -tzip -mx=9 size" "$(ratio "${SIZE[ours lh7]}" "${SIZE[7z zip -mx=9]}")" "<=" 1
line "lh7 speed / zip -9 speed" "$(ratio "${SPEED[ours lh7]}" "${SPEED[zip -9]}")" ">=" 2
line "test: all workers / one" "$(ratio "${SPEED[ours t]}" "${SPEED[ours t, 1 worker]}")" ">=" 1.8 "($(nproc) cores)"
line "test speed / bsdtar -xOf" "$(ratio "${SPEED[ours t]}" "${SPEED[bsdtar -xOf]}")" ">=" 2
line "extract: all workers / one" "$(ratio "${SPEED[ours x]}" "${SPEED[ours x, 1 worker]}")" ">=" 1.8 "($(nproc) cores)"
line "extract speed / bsdtar -xf" "$(ratio "${SPEED[ours x]}" "${SPEED[bsdtar -xf]}")" ">=" 2
echo "lh5 with one worker / zip -6 speed:             $(ratio "${SPEED[ours lh5, 1 worker]}" "${SPEED[zip -6]}")   (for reference)"
if [ "$small" = 1 ]; then
  line "small files: speed / zip -6" "$(ratio "${SPEED[ours, small files]}" "${SPEED[zip -6, small files]}")" ">=" 1
  line "small files: unchanged second run / first" "$(ratio "${SECS[ours, unchanged again]}" "${SECS[ours, small files]}")" "<" 0.05
  echo "small files: find alone / our first run:       $(ratio "${SECS[find over the tree]}" "${SECS[ours, small files]}")   (find -printf %T@, which looks at every file: $(ratio "${SECS[find -printf %T@]}" "${SECS[ours, small files]}"))"
  line "listing $small_members members: time / 7z l" "$(ratio "${SECS[ours, listing]}" "${SECS[7z l]}")" "<=" 2
  # Without rows, what the process holds is the library's own memory: the same, give or take
  # what the allocator keeps, for 100,000 members as for a few thousand.
  line "listing: memory growth without rows, KB" "$(( list_lib_many - list_lib_few ))" "<=" 1024 "(${list_lib_many} KB with $small_members members, ${list_lib_few} KB with $corpus_members; the rows: ${list_rows} KB)"
  small_big="ours lh5, one $((big_mb / 4)) MiB file" large_big="ours lh5, one ${big_mb} MiB file"
  line "peak memory, ${big_mb} / $((big_mb / 4)) MiB file" "$(ratio "${MEM[$large_big]}" "${MEM[$small_big]}")" "<=" 1.1 "(${MEM[$large_big]} KB / ${MEM[$small_big]} KB; the tree: ${MEM[ours lh5]} KB)"
fi
exit 0
