#!/usr/bin/env bash
# morvex's npm package against the raster PDF comparers of the npm registry
# (compare-pdf, pdf-visual-diff), on the same pairs, each run in a process
# of its own under /usr/bin/time -v with a time limit and a memory cap, so
# that a peer cannot take a shared machine down.  Prints a Markdown table.
#
#   bench/js/run.sh [LIMIT_SECONDS] [MEMORY_CAP_GIB]   (defaults 300 and 8)
#   MORVEX_BENCH_ONLY=57 runs the 57-page pair only; MORVEX_BENCH_TOOLS="morvex
#   compare-pdf ..." the tools named only (pdf-visual-diff brings its store step)
#
# Needs: Debian's graphicsmagick and ghostscript for compare-pdf's default
# engine (bin/convert says why), the library built (MORVEX_LIBRARY, default build/rel/libmorvex.so),
# js/ installed (npm ci in js/), this folder installed (npm ci here: canvas
# builds from source against Debian's libcairo2-dev, libpango1.0-dev,
# libjpeg-dev, libgif-dev, librsvg2-dev and the headers of Debian's nodejs,
# see .npmrc), /usr/bin/python3 with fitz for the changed copy, and the
# pairs: the 57-page real file (MORVEX_BENCH_57, default
# /work/realpdfs/all/octave-doc__liboctave.pdf) and its copy with one word
# changed, and the 2,415-page file (MORVEX_BENCH_BIG, default
# /work/realpdfs/big/big-2415.pdf) against its object-stream rewrite.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
limit=${1:-300}
cap_gib=${2:-8}
export MORVEX_LIBRARY=${MORVEX_LIBRARY:-$root/build/rel/libmorvex.so}
src57=${MORVEX_BENCH_57:-/work/realpdfs/all/octave-doc__liboctave.pdf}
big=${MORVEX_BENCH_BIG:-/work/realpdfs/big/big-2415.pdf}
big2=${big%.pdf}.objstm.pdf
out=$here/out
mkdir -p "$out"
cp -L "$src57" "$out/p57-a.pdf"
/usr/bin/python3 "$here/make_pair.py" "$out/p57-a.pdf" "$out/p57-b.pdf" >&2

# Runs node run-one.js TOOL A B WORK under /usr/bin/time -v; kills it at
# the time limit, or when its resident memory passes the cap (a watchdog,
# not ulimit -v: node reserves address space for WebAssembly far beyond
# what it uses, and pdf.js's decoders fail to start under such a limit).
measure() {  # label tool a b work
    local label=$1 tool=$2 a=$3 b=$4 work=$5 log verdict status secs rss cpu pid cap_kib killed="" seen=0 hwm
    log=$work/time-$tool.log
    cap_kib=$((cap_gib * 1024 * 1024))
    (cd "$here" && PATH=$here/bin:$PATH exec /usr/bin/time -v -o "$log" timeout -s KILL "$limit" \
        node run-one.js "$tool" "$a" "$b" "$work" >"$work/verdict" 2>/dev/null) &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        for node in $(pgrep -f "run-one.js $tool $a " || true); do
            rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$node/status" 2>/dev/null || echo 0)
            hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$node/status" 2>/dev/null || echo 0)
            [ "${hwm:-0}" -gt "$seen" ] && seen=$hwm
            if [ "${rss:-0}" -gt "$cap_kib" ]; then kill -KILL "$node"; killed=1; fi
        done
        sleep 0.2
    done
    wait "$pid"
    verdict=$(tail -1 "$work/verdict")
    status=$(sed -n 's/.*Exit status: //p' "$log")
    secs=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log" |
        awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }')
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
    cpu=$(awk -F': ' '/User time|System time/ { t += $2 } END { printf "%.2f", t }' "$log")
    # A run that was killed took its figures with it (timeout kills itself
    # too): its memory is the peak the watchdog saw, its CPU time unknown.
    if [ -n "$killed" ] || [ "$status" = 137 ] || grep -q 'signal 9' "$log"; then
        rss=$seen
        cpu="-"
    fi
    if [ -n "$killed" ]; then verdict="stopped past the ${cap_gib} GiB memory cap"
    elif [ "$status" = 137 ] || grep -q 'signal 9' "$log"; then verdict="stopped at the ${limit} s limit"
    elif [ "$status" != 0 ] && [ -z "$verdict" ]; then verdict="exit status $status"
    fi
    printf '| %s | %s | %.2f | %s | %d | %s |\n' "$label" "$tool" "$secs" "$cpu" "$((rss / 1024))" "$verdict"
    [ "$status" = 0 ]
}

echo "| pair | tool | wall s | CPU s | peak MiB | result |"
echo "|---|---|---:|---:|---:|---|"
pairs=("57 pages, one word changed|$out/p57-a.pdf|$out/p57-b.pdf" \
       "2,415 pages, object streams rewritten|$big|$big2")
[ "${MORVEX_BENCH_ONLY:-}" = 57 ] && pairs=("${pairs[0]}")
for pair in "${pairs[@]}"; do
    IFS='|' read -r label a b <<<"$pair"
    work=$(mktemp -d "$out/work.XXXXXX")
    for tool in ${MORVEX_BENCH_TOOLS:-morvex compare-pdf compare-pdf-native pdf-visual-diff}; do
        if [ "$tool" = pdf-visual-diff ]; then
            # It compares with the snapshot it rendered in the step before.
            measure "$label" pdf-visual-diff-store "$a" "$b" "$work" &&
                measure "$label" pdf-visual-diff "$a" "$b" "$work"
        else
            measure "$label" "$tool" "$a" "$b" "$work"
        fi
    done
    rm -rf "$work"
done
