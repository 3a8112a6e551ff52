#!/usr/bin/env bash
# Compares the Marlo LZH library with its peers on one tree, all in the same run:
#   compression  ours -lh5-/-lh7- (one member per file)  vs  gzip -6 on the tar of the tree,
#                jlha c2o5 / c2o7 on the tree
#   same input   ours -lh7- and jlha c2o7 with the tar as their one member  vs  gzip -6 on the tar,
#                and gzip -6 on each file alone (what per-file members are up against)
#   parallel     ours with one worker vs one per core
#   reading      ours t  vs  bsdtar -xOf, 7z t, lhasa t  on our -lh5- archive
# Usage: bench/run.sh [--quick | TREE_DIR] [--runs N] [--unlha PATH]
#   --quick      generate a small corpus (about 35 MB) in the work folder and use it
#   TREE_DIR     e.g. the pinned corpus tree of shared/bench-corpus.md
# Output: a table of sizes, MB/s (median of N runs) and peak memory, then the ratios that the
# targets talk about. Work files go to ${BENCH_WORK:-/tmp/marlo-lzh-bench}.
set -eu

runs=1
tree=""
unlha="${UNLHA:-}"
quick=0
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --runs) runs="$2"; shift ;;
    --unlha) unlha="$2"; shift ;;
    *) tree="$1" ;;
  esac
  shift
done
here="$(cd "$(dirname "$0")" && pwd)"
if [ -z "$unlha" ]; then
  for c in "$here/../build/lzh-bench/lzh/unlha" "$here/../build/lzh-dev/lzh/unlha" "$here/../build/lzh/unlha"; do
    [ -x "$c" ] && unlha="$c" && break
  done
fi
[ -x "$unlha" ] || { echo "unlha not found: build the 'unlha' target or pass --unlha PATH" >&2; exit 2; }
work="${BENCH_WORK:-/tmp/marlo-lzh-bench}"
mkdir -p "$work"

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
tar_file="$work/tree.tar"
tar --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -cf "$tar_file" -C "$tree" .
tar_bytes=$(stat -c %s "$tar_file")
echo "tree: $tree  ($files files, $bytes bytes; tar $tar_bytes bytes)"
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# time_cmd NAME INPUT_BYTES OUTPUT_FILE -- command...   (runs $runs times, keeps the median)
declare -A SIZE SPEED MEM CPU
time_cmd() {
  local name="$1" in_bytes="$2" out="$3"; shift 4
  local times=() cpus=() t0 t1 mem=0
  for ((i = 0; i < runs; i++)); do
    [ -n "$out" ] && [ "$out" != - ] && rm -f "$out"
    t0=$(date +%s.%N)
    /usr/bin/time -f '%M %U %S' -o "$work/mem" "$@" > /dev/null 2>&1 || { echo "$name failed" >&2; return 1; }
    t1=$(date +%s.%N)
    times+=("$(echo "$t1 - $t0" | bc -l)")
    read -r m u s < <(tail -1 "$work/mem")
    [ "$m" -gt "$mem" ] && mem=$m
    cpus+=("$(echo "$u + $s" | bc -l)")
  done
  local med
  med=$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  SPEED[$name]=$(echo "$in_bytes / $med / 1000000" | bc -l)
  CPU[$name]=$(printf '%s\n' "${cpus[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  MEM[$name]=$mem
  if [ -n "$out" ] && [ "$out" != - ]; then SIZE[$name]=$(stat -c %s "$out"); else SIZE[$name]=""; fi
}

have() { command -v "$1" > /dev/null 2>&1; }

time_cmd "gzip -6 (tar)" "$tar_bytes" "$work/tree.tar.gz" -- sh -c "gzip -6 -c '$tar_file' > '$work/tree.tar.gz'"
time_cmd "ours lh5, 1 worker" "$bytes" "$work/ours5-1.lzh" -- "$unlha" a "$work/ours5-1.lzh" "$tree/*.*" -r -l0 -jp1
time_cmd "ours lh5" "$bytes" "$work/ours5.lzh" -- "$unlha" a "$work/ours5.lzh" "$tree/*.*" -r -l0
time_cmd "ours lh7" "$bytes" "$work/ours7.lzh" -- "$unlha" a "$work/ours7.lzh" "$tree/*.*" -r -l0 -o7
if have jlha; then
  time_cmd "jlha c2o5" "$bytes" "$work/jlha5.lzh" -- sh -c "cd '$tree' && jlha c2o5q '$work/jlha5.lzh' ."
  time_cmd "jlha c2o7" "$bytes" "$work/jlha7.lzh" -- sh -c "cd '$tree' && jlha c2o7q '$work/jlha7.lzh' ."
fi
# The same bytes gzip sees: the tar as one member, so matches may reach across files.
time_cmd "ours lh7 (tar)" "$tar_bytes" "$work/ours7-tar.lzh" -- "$unlha" a "$work/ours7-tar.lzh" "$tar_file" -l0 -o7
have jlha && time_cmd "jlha c2o7 (tar)" "$tar_bytes" "$work/jlha7-tar.lzh" -- sh -c "cd '$work' && jlha c2o7q '$work/jlha7-tar.lzh' tree.tar"
# gzip -6 on every file alone, deflate data only (less its 18-byte wrapper): how much of gzip's lead
# on the tar comes from matching across files, which independent members cannot do.
time_cmd "gzip -6 (each file)" "$bytes" "$work/gzip-each.size" -- sh -c "
  cd '$tree' && find . -type f -print0 | xargs -0 -n 500 -P $(nproc) sh -c 'for f; do gzip -6 -n -c \"\$f\" | wc -c; done' _ |
  awk '{s += \$1 - 18} END {print s}' > '$work/gzip-each.size'"
SIZE["gzip -6 (each file)"]=$(cat "$work/gzip-each.size")

time_cmd "ours t" "$bytes" - -- "$unlha" t "$work/ours5.lzh" -l0
have bsdtar && time_cmd "bsdtar -xOf" "$bytes" - -- sh -c "bsdtar -xOf '$work/ours5.lzh' > /dev/null"
have 7z && time_cmd "7z t" "$bytes" - -- 7z t "$work/ours5.lzh"
have lhasa && time_cmd "lhasa t" "$bytes" - -- lhasa t "$work/ours5.lzh"
time_cmd "gzip -d (tar.gz)" "$tar_bytes" - -- sh -c "gzip -dc '$work/tree.tar.gz' > /dev/null"

printf '%-22s %14s %9s %9s %9s %10s\n' tool "output bytes" "% input" "MB/s" "CPU s" "peak KB"
for name in "gzip -6 (tar)" "ours lh5, 1 worker" "ours lh5" "ours lh7" "jlha c2o5" "jlha c2o7" \
            "ours lh7 (tar)" "jlha c2o7 (tar)" "gzip -6 (each file)" "ours t" "bsdtar -xOf" "7z t" "lhasa t" "gzip -d (tar.gz)"; do
  [ -n "${SPEED[$name]:-}" ] || continue
  size="${SIZE[$name]}"; pct=""
  if [ -n "$size" ]; then
    base=$bytes; case "$name" in *"(tar)") base=$tar_bytes ;; esac
    pct=$(printf '%.2f' "$(echo "100 * $size / $base" | bc -l)")
  fi
  printf '%-22s %14s %9s %9.1f %9.2f %10s\n' "$name" "$size" "$pct" "${SPEED[$name]}" "${CPU[$name]}" "${MEM[$name]}"
done
echo
# Packed bytes of every member of our -lh7- archive, headers left out (the list's total line).
lh7_content_bytes() { "$unlha" l "$work/ours7.lzh" | tail -1 | awk '{gsub(",", "", $2); print $2}'; }
ratio() { printf '%.3f' "$(echo "$1 / $2" | bc -l)"; }
echo "lh5 size / jlha c2o5 size:        $( [ -n "${SIZE[jlha c2o5]:-}" ] && ratio "${SIZE[ours lh5]}" "${SIZE[jlha c2o5]}")   (target <= 1)"
echo "lh5 speed / gzip -6 speed:        $(ratio "${SPEED[ours lh5]}" "${SPEED[gzip -6 (tar)]}")   (target >= 1)"
echo "lh5 1-worker speed / gzip -6:     $(ratio "${SPEED[ours lh5, 1 worker]}" "${SPEED[gzip -6 (tar)]}")"
echo "lh7 size / jlha c2o7 size:        $( [ -n "${SIZE[jlha c2o7]:-}" ] && ratio "${SIZE[ours lh7]}" "${SIZE[jlha c2o7]}")   (target < 1)"
echo "lh7 size / gzip -6 size:          $(ratio "${SIZE[ours lh7]}" "${SIZE[gzip -6 (tar)]}")   (one member per file against the tar)"
echo "lh7 (tar) / gzip -6 (tar) size:   $(ratio "${SIZE[ours lh7 (tar)]}" "${SIZE[gzip -6 (tar)]}")   (same input; target < 1)"
echo "lh7 content / gzip -6 each file:  $(ratio "$(lh7_content_bytes)" "${SIZE[gzip -6 (each file)]}")   (both one stream per file, headers left out)"
echo "parallel speed-up ($(nproc) cores):     $(ratio "${SPEED[ours lh5]}" "${SPEED[ours lh5, 1 worker]}")   (target >= 1.7 on 2 cores; needs idle cores)"
echo "lh5 CPU time / gzip -6 CPU time:  $(ratio "${CPU[ours lh5, 1 worker]}" "${CPU[gzip -6 (tar)]}")   (per byte of input: x $(ratio "$tar_bytes" "$bytes"))"
[ -n "${SPEED[bsdtar -xOf]:-}" ] && echo "test speed / bsdtar -xOf:         $(ratio "${SPEED[ours t]}" "${SPEED[bsdtar -xOf]}")   (target >= 1)"
exit 0
