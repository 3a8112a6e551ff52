#!/usr/bin/env bash
# Decoding speed of the older methods, ours against a peer on the same archive in the same run:
# `unlha t` against `lhasa t`, and for -lh2-/-lh3- (which lhasa 0.3.1 cannot decode) against
# `jlha p`. Each archive holds one member made from INPUT by the test encoders
# (lzh_legacy_archive).
# Usage: bench/legacy.sh [INPUT] [--runs N]
#   INPUT  default: the first 20 MB of a tar of /usr/include
# Work files go to ${BENCH_WORK:-/tmp/marlo-lzh-bench}/legacy.
set -eu

runs=3
input=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift ;;
    *) input="$1" ;;
  esac
  shift
done
here="$(cd "$(dirname "$0")" && pwd)"
build="$here/../build/lzh-bench"
unlha="$build/lzh/unlha"
maker="$build/bench/lzh_legacy_archive"
for t in "$unlha" "$maker"; do
  [ -x "$t" ] || { echo "$t not found: build the unlha and lzh_legacy_archive targets (bench/README.md)" >&2; exit 2; }
done
work="${BENCH_WORK:-/tmp/marlo-lzh-bench}/legacy"
mkdir -p "$work"
if [ -z "$input" ]; then
  input="$work/input.tar"
  [ -f "$input" ] || tar -cf - -C /usr include 2>/dev/null | head -c 20000000 > "$input" || true
fi
bytes=$(stat -c %s "$input")
echo "input: $input ($bytes bytes)"
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# seconds NAME -- command...: the median wall time of $runs runs
seconds() {
  local times=() t0 t1
  shift 2
  for ((i = 0; i < runs; i++)); do
    t0=$(date +%s.%N)
    "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    t1=$(date +%s.%N)
    times+=("$(echo "$t1 - $t0" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}
mbs() { printf '%.1f' "$(echo "$bytes / $1 / 1000000" | bc -l)"; }

printf '%-6s %12s %10s %-8s %10s %7s\n' method packed "ours MB/s" peer "peer MB/s" ratio
for m in -lh1- -lh2- -lh3- -lz5- -lzs- -pm1- -pm2- -lz4- -pm0-; do
  arc="$work/a$m.lzh"
  "$maker" "$m" "$input" "$arc" > /dev/null
  ours=$(seconds ours -- "$unlha" t "$arc" -l0)
  case "$m" in
    -lh2-|-lh3-) peer=jlha; theirs=$(seconds jlha -- sh -c "jlha p '$arc' > /dev/null") ;;
    *) peer=lhasa; theirs=$(seconds lhasa -- lhasa t "$arc") ;;
  esac
  printf '%-6s %12s %10s %-8s %10s %7.2f\n' "$m" "$(stat -c %s "$arc")" "$(mbs "$ours")" "$peer" \
    "$(mbs "$theirs")" "$(echo "$theirs / $ours" | bc -l)"
done
echo
echo "ratio: our speed / the peer's (target >= 1)"
