#!/usr/bin/env bash
# The disc-writing control against xorriso on the same archive, in the same run:
#   image build   ours (Call25)  vs  xorriso -as mkisofs -J -R
#   stdio write   ours (Call24, no read-back; and with it)  vs  xorriso -as cdrecord dev=stdio:
# Usage: bench/disc.sh [--mb N] [--runs N] [--bench PATH]
#   --mb N      size of the generated archive content in MB (default 200)
#   --runs N    median of N runs (default 3)
# Work files go to ${BENCH_WORK:-/tmp/marlo-disc-bench}; the file system there is what is timed.
set -eu

mb=200
runs=3
bench=""
while [ $# -gt 0 ]; do
  case "$1" in
    --mb) mb="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    --bench) bench="$2"; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done
here="$(cd "$(dirname "$0")" && pwd)"
if [ -z "$bench" ]; then
  for c in "$here/../build/disc-bench/bench/marlo_disc_bench" "$here/../build/release/bench/marlo_disc_bench"; do
    [ -x "$c" ] && bench="$c" && break
  done
fi
[ -x "$bench" ] || { echo "marlo_disc_bench not found: build it (see bench/README.md) or pass --bench PATH" >&2; exit 2; }
command -v xorriso >/dev/null || { echo "xorriso is needed" >&2; exit 2; }
work="${BENCH_WORK:-/tmp/marlo-disc-bench}"
rm -rf "$work" && mkdir -p "$work"

# Incompressible content, as an archive mostly is.
archive="$work/backup.lzh"
head -c "$((mb * 1000 * 1000))" /dev/urandom > "$archive"

now() { date +%s.%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

ours_build=(); ours_write=(); ours_verify=(); peer_build=(); peer_write=()
for _ in $(seq "$runs"); do
  out="$("$bench" "$archive" "$work")"
  ours_build+=("$(echo "$out" | awk '/^build_s/ {print $2}')")
  ours_write+=("$(echo "$out" | awk '/^write_s/ {print $2}')")
  ours_verify+=("$(echo "$out" | awk '/^write_verify_s/ {print $2}')")
  image_mb="$(echo "$out" | awk '/^image_mb/ {print $2}')"
  rm -f "$work/ours.iso" "$work/ours-target.iso"

  t0="$(now)"
  xorriso -as mkisofs -quiet -J -R -o "$work/peer.iso" -graft-points "/Backup/backup.lzh=$archive" 2>/dev/null
  t1="$(now)"
  xorriso -as cdrecord dev="stdio:$work/peer-target.iso" "$work/peer.iso" >/dev/null 2>&1
  sync "$work/peer-target.iso"
  t2="$(now)"
  peer_build+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')")
  peer_write+=("$(awk -v a="$t1" -v b="$t2" 'BEGIN {print b - a}')")
  rm -f "$work/peer.iso" "$work/peer-target.iso"
done

m() { printf '%s\n' "$@" | median; }
ob="$(m "${ours_build[@]}")"; ow="$(m "${ours_write[@]}")"; ov="$(m "${ours_verify[@]}")"
pb="$(m "${peer_build[@]}")"; pw="$(m "${peer_write[@]}")"
rate() { awk -v m="$image_mb" -v s="$1" 'BEGIN {printf "%.1f", m / s}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
printf '%-40s %10s %10s\n' "step (image ${image_mb} MB, median of $runs)" seconds "MB/s"
printf '%-40s %10.3f %10s\n' "image build: ours (libisofs)" "$ob" "$(rate "$ob")"
printf '%-40s %10.3f %10s\n' "image build: xorriso -as mkisofs" "$pb" "$(rate "$pb")"
printf '%-40s %10.3f %10s\n' "stdio write: ours" "$ow" "$(rate "$ow")"
printf '%-40s %10.3f %10s\n' "stdio write: ours + read-back compare" "$ov" "$(rate "$ov")"
printf '%-40s %10.3f %10s\n' "stdio write: xorriso -as cdrecord" "$pw" "$(rate "$pw")"
printf 'ratios: build ours/xorriso %s, write ours/xorriso %s (time; below 1 is faster)\n' \
  "$(ratio "$ob" "$pb")" "$(ratio "$ow" "$pw")"
rm -rf "$work"
