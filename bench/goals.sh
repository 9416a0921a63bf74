#!/usr/bin/env bash
# The speed goals in one table: builds a Release tree of its own, writes
# the generated documents, and times morvex beside the peer program in the
# same run (median of several runs each).  Fetches nothing.
#
#   bench/goals.sh [BIG.pdf [BIG-REWRITE.pdf]] [--manual MANUAL.pdf] [--oneword FILE.pdf]
#
# BIG.pdf is a large real document (a manual of a few thousand pages);
# without an argument, $MORVEX_BENCH_BIG, else the PDF with the most pages
# under $MORVEX_BENCH_BIG_DIR (default /work/realpdfs/big).  Its rewrite
# with `qpdf --object-streams=generate` is BIG.objstm.pdf beside it when
# that exists, else made in the scratch folder.  Without a big document the
# rows that need one say so.
#
# The rows of the command as a user runs it (`morvex compare A B`, default
# options: pages paired by content) also take two real files kept outside
# the repository: MANUAL.pdf (a manual of about a hundred pages, compared
# with a copy whose every page's content is written anew) and FILE.pdf
# (compared on one thread with a copy with one word changed); the copies
# are made by bench/make_variants.py.  Without them (--manual, --oneword
# or $MORVEX_BENCH_MANUAL, $MORVEX_BENCH_ONEWORD) their rows say so.
# $MORVEX_BENCH_CLI names another morvex command to time in those rows (an
# older build, for a before and after).
#
# Environment: MORVEX_BENCH_REPS (runs per measurement, default 5; 3 for
# the big document), MORVEX_BENCH_SWEEP (page counts of the size sweep,
# default "250 500 1000 2000 4000 8000"), MORVEX_BENCH_BUILD (build folder,
# default build/bench-release).
set -euo pipefail
manual=${MORVEX_BENCH_MANUAL:-} oneword=${MORVEX_BENCH_ONEWORD:-}
args=()
while [ $# -gt 0 ]; do
    case $1 in
        --manual) manual=$2; shift 2 ;;
        --oneword) oneword=$2; shift 2 ;;
        *) args+=("$1"); shift ;;
    esac
done
set -- "${args[@]+"${args[@]}"}"
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVEX_BENCH_BUILD:-$root/build/bench-release}
reps=${MORVEX_BENCH_REPS:-5}
big_reps=${MORVEX_BENCH_REPS:-3}
sweep=${MORVEX_BENCH_SWEEP:-"250 500 1000 2000 4000 8000"}
scratch=$build/goals
mkdir -p "$scratch"

for tool in cmake ninja qpdf mutool pdftotext; do
    command -v "$tool" >/dev/null || { echo "goals.sh: $tool is not installed" >&2; exit 1; }
done

echo "== building Release in $build" >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVEX_BUILD_BENCHMARKS=ON >/dev/null
ninja -C "$build" goal_driver morvex_cli >/dev/null
driver=$build/bench/goal_driver
cli=${MORVEX_BENCH_CLI:-$build/cli/morvex}
# The command as a user runs it; its exit status 1 (the files differ) is
# no failure here.
run_cli() { "$driver" exec "$1" sh -c '"$0" "$@" >/dev/null; [ $? -le 1 ]' "$cli" "${@:2}"; }

# key=value line -> value of key
field() { sed -n "s/.*$2=\([^ ]*\).*/\1/p" <<<"$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN { print (r <= g ? "met" : "NOT met") }'; }
secs() { awk -v s="$1" 'BEGIN { printf "%.3f s", s }'; }

rows=()
row() { rows+=("$(printf '%-44s %12s %12s %8s %7s  %-8s %9s' "$@")"); }
# The ratio of processor times (morvex line, peer line): steadier than wall
# time when other work shares the machine.
cpu_ratio() { ratio "$(field "$1" cpu_s)" "$(field "$2" cpu_s)"; }

# --- the generated 1,000-page pair against pdftotext on one side
gen_a=$scratch/gen-1000-a.pdf gen_b=$scratch/gen-1000-b.pdf
[ -s "$gen_a" ] || "$driver" gen 1000 0 "$gen_a"
[ -s "$gen_b" ] || "$driver" gen 1000 1 "$gen_b"
echo "== generated 1,000-page pair" >&2
peer=$("$driver" exec "$reps" pdftotext "$gen_a" /dev/null)
cmp=$("$driver" compare "$reps" "$gen_a" "$gen_b")
vis=$("$driver" visual "$reps" "$gen_a" "$gen_b" "$scratch/report.pdf")
p=$(field "$peer" median_s)
r=$(ratio "$(field "$cmp" median_s)" "$p")
row "generated 1,000 pages: compare / pdftotext" "$(secs "$(field "$cmp" median_s)")" "$(secs "$p")" "$r" "<=0.05" "$(verdict "$r" 0.05)" "$(cpu_ratio "$cmp" "$peer")"
r=$(ratio "$(field "$vis" median_s)" "$p")
row "generated 1,000 pages: visual / pdftotext" "$(secs "$(field "$vis" median_s)")" "$(secs "$p")" "$r" "<=0.10" "$(verdict "$r" 0.10)" "$(cpu_ratio "$vis" "$peer")"

# --- the real pair
big_a=${1:-${MORVEX_BENCH_BIG:-}}
big_b=${2:-}
if [ -z "$big_a" ]; then
    dir=${MORVEX_BENCH_BIG_DIR:-/work/realpdfs/big}
    best=0
    for f in "$dir"/*.pdf; do
        [ -f "$f" ] || continue
        case $f in *objstm.pdf) continue ;; esac
        n=$(qpdf --show-npages "$f" 2>/dev/null || echo 0)
        if [ "$n" -gt "$best" ]; then best=$n big_a=$f; fi
    done
fi
if [ -n "$big_a" ]; then
    if [ -z "$big_b" ] && [ -s "${big_a%.pdf}.objstm.pdf" ]; then
        big_b=${big_a%.pdf}.objstm.pdf
    fi
    if [ -z "$big_b" ]; then
        big_b=$scratch/$(basename "${big_a%.pdf}")-objstm.pdf
        [ -s "$big_b" ] || qpdf --object-streams=generate "$big_a" "$big_b" || [ -s "$big_b" ]
    fi
    big_copy=$scratch/identical-copy.pdf
    cp "$big_a" "$big_copy"
    pages=$(qpdf --show-npages "$big_a" 2>/dev/null || echo "?")
    echo "== real pair: $big_a ($pages pages) and $big_b" >&2
    peer=$("$driver" exec "$big_reps" mutool draw -F txt -o /dev/null "$big_a")
    cmp=$("$driver" compare "$big_reps" "$big_a" "$big_b")
    vis=$("$driver" visual "$big_reps" "$big_a" "$big_b" "$scratch/report.pdf")
    same=$("$driver" compare "$big_reps" "$big_a" "$big_copy")
    p=$(field "$peer" median_s)
    r=$(ratio "$(field "$cmp" median_s)" "$p")
    row "real $pages pages vs rewrite: compare / mutool" "$(secs "$(field "$cmp" median_s)")" "$(secs "$p")" "$r" "<=0.10" "$(verdict "$r" 0.10)" "$(cpu_ratio "$cmp" "$peer")"
    r=$(ratio "$(field "$vis" median_s)" "$p")
    row "real $pages pages vs rewrite: visual / mutool" "$(secs "$(field "$vis" median_s)")" "$(secs "$p")" "$r" "<=0.20" "$(verdict "$r" 0.20)" "$(cpu_ratio "$vis" "$peer")"
    r=$(ratio "$(field "$same" median_s)" "$p")
    row "two identical $pages-page files / mutool" "$(secs "$(field "$same" median_s)")" "$(secs "$p")" "$r" "<=0.05" "$(verdict "$r" 0.05)" "$(cpu_ratio "$same" "$peer")"
    cmd_rw=$(run_cli "$big_reps" compare "$big_a" "$big_b")
    cmd_same=$(run_cli "$big_reps" compare "$big_a" "$big_copy")
    r=$(ratio "$(field "$cmd_rw" median_s)" "$p")
    row "command: $pages pages vs rewrite / mutool" "$(secs "$(field "$cmd_rw" median_s)")" "$(secs "$p")" "$r" "<=0.10" "$(verdict "$r" 0.10)" "$(cpu_ratio "$cmd_rw" "$peer")"
    r=$(ratio "$(field "$cmd_same" median_s)" "$p")
    row "command: two identical $pages-page files" "$(secs "$(field "$cmd_same" median_s)")" "$(secs "$p")" "$r" "<=0.05" "$(verdict "$r" 0.05)" "$(cpu_ratio "$cmd_same" "$peer")"
    limit_kb=$(( ($(stat -c %s "$big_a") + $(stat -c %s "$big_b")) / 1024 + 65536 ))
    for kind in compare visual; do
        line=$cmp
        [ $kind = visual ] && line=$vis
        kb=$(field "$line" maxrss_kb)
        r=$(ratio "$kb" "$limit_kb")
        row "peak memory, real pair $kind / sizes+64MB" "$((kb / 1024)) MB" "$((limit_kb / 1024)) MB" "$r" "<=1" "$(verdict "$r" 1)"
    done
else
    row "real pair (no big document found)" "-" "-" "-" "" "give BIG.pdf or MORVEX_BENCH_BIG"
fi

# --- the command on real files and copies made of them
variant() {  # SOURCE KIND -> path of the copy, made once in the scratch folder
    local out=$scratch/$(basename "${1%.pdf}").$2.pdf
    [ -s "$out" ] || /usr/bin/python3 "$root/bench/make_variants.py" --kinds "$2" "$1" "$scratch" >/dev/null
    echo "$out"
}
if [ -n "$manual" ]; then
    copy=$(variant "$manual" reserial)
    pages=$(qpdf --show-npages "$manual" 2>/dev/null || echo "?")
    echo "== command: $manual ($pages pages) vs content written anew" >&2
    peer=$("$driver" exec "$reps" mutool draw -F txt -o /dev/null "$manual")
    c=$(run_cli "$reps" compare "$manual" "$copy")
    p=$(field "$peer" median_s)
    r=$(ratio "$(field "$c" median_s)" "$p")
    row "command: $pages-page manual vs re-serialised" "$(secs "$(field "$c" median_s)")" "$(secs "$p")" "$r" "<=0.20" "$(verdict "$r" 0.20)" "$(cpu_ratio "$c" "$peer")"
else
    row "command: manual vs re-serialised (no file)" "-" "-" "-" "" "give --manual or MORVEX_BENCH_MANUAL"
fi
if [ -n "$oneword" ]; then
    copy=$(variant "$oneword" oneword)
    pages=$(qpdf --show-npages "$oneword" 2>/dev/null || echo "?")
    echo "== command: $oneword ($pages pages) vs one word changed, one thread" >&2
    peer=$("$driver" exec "$reps" mutool draw -F txt -o /dev/null "$oneword")
    c=$(run_cli "$reps" compare --threads=1 "$oneword" "$copy")
    p=$(field "$peer" median_s)
    r=$(ratio "$(field "$c" median_s)" "$p")
    row "command: $pages pages vs one word, 1 thread" "$(secs "$(field "$c" median_s)")" "$(secs "$p")" "$r" "<=0.15" "$(verdict "$r" 0.15)" "$(cpu_ratio "$c" "$peer")"
else
    row "command: one word changed (no file)" "-" "-" "-" "" "give --oneword or MORVEX_BENCH_ONEWORD"
fi

echo
printf '%-44s %12s %12s %8s %7s  %-8s %9s\n' "goal (wall time, median)" "morvex" "peer" "ratio" "goal" "" "cpu ratio"
for r in "${rows[@]}"; do echo "$r"; done

# --- linearity: the generated pages at several sizes, cost per page pair
echo
echo "size sweep (generated pairs, one word changed on every tenth page; median of $reps runs)"
echo "(microseconds per page pair, wall and processor time; the last ratio: compare's processor time per page against the first size's)"
printf '%8s %14s %14s %14s %14s %10s %8s\n' pages "compare wall" "compare cpu" "visual wall" "visual cpu" "cpu/first" "peak MB"
first=""
for n in $sweep; do
    a=$scratch/gen-$n-a.pdf b=$scratch/gen-$n-b.pdf
    [ -s "$a" ] || "$driver" gen "$n" 0 "$a"
    [ -s "$b" ] || "$driver" gen "$n" 1 "$b"
    c=$("$driver" compare "$reps" "$a" "$b")
    v=$("$driver" visual "$reps" "$a" "$b" "$scratch/report.pdf")
    per_page() { awk -v s="$1" -v n="$n" 'BEGIN { printf "%.1f", s * 1e6 / n }'; }
    cc=$(per_page "$(field "$c" cpu_s)")
    [ -n "$first" ] || first=$cc
    printf '%8s %14s %14s %14s %14s %10s %8s\n' "$n" "$(per_page "$(field "$c" median_s)")" "$cc" \
        "$(per_page "$(field "$v" median_s)")" "$(per_page "$(field "$v" cpu_s)")" "$(ratio "$cc" "$first")" \
        "$(( $(field "$v" maxrss_kb) / 1024 ))"
done
rm -f "$scratch/report.pdf"
