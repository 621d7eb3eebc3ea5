#!/usr/bin/env bash
# Runs each benchmark (bench/*.js, then the wider set of script shapes in
# bench/shapes/*.js) under the runner (runner -e 'main()' file.js) and under
# duk, mujs, node and QuickJS where present, printing the times, the ratio of
# each engine's time to the runner's, and whether its output matches the
# runner's. The last rows give the geometric mean of each ratio column and
# of the runner's time over each engine's.
# Usage: [RUNS=n] [LIMIT=seconds] [BASELINE=runner-path] bench/run.sh [runner-path] [name...]
#        BASELINE adds an earlier build's time and its ratio to the runner's.
#        A name is a script's (fib, int_mixed or shapes/int_mixed) or a
#        folder's (shapes).
#        (default: builds build/release/runner; every benchmark)
set -u
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
runner="${1:-}"
if [ -z "$runner" ]; then
    runner="$root/build/release/runner"
    if [ ! -x "$runner" ]; then
        cmake --preset release -S "$root" >/dev/null && cmake --build "$root/build/release" -j2 --target runner >/dev/null || exit 1
    fi
fi
# The runner wants its configuration file beside it; an empty one will do.
[ -f "$(dirname "$runner")/TOLV.config" ] || [ -f "$(dirname "$runner")/mongoTOLV.config" ] ||
    : > "$(dirname "$runner")/TOLV.config"

if ! command -v duk >/dev/null || ! command -v mujs >/dev/null; then
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq duktape mujs >/dev/null 2>&1 || true
    fi
fi
# QuickJS comes as PyPI's quickjs wheel, driven by bench/quickjs_run.py.
if command -v python3 >/dev/null && ! python3 -c 'import quickjs' 2>/dev/null; then
    python3 -m pip install --quiet quickjs >/dev/null 2>&1 || true
fi

# Every engine reads dates in one zone, so Date output can be compared.
export TZ="${TZ:-UTC}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }

# Median seconds of RUNS runs of a command (default 3); the last run's
# standard output goes to $work/out.
# A run that takes longer than LIMIT seconds (default 60) is stopped and
# the time shows as ">LIMIT".
# With --reported first, a run's time is the one the command writes as its
# last "seconds N" line on standard error (the evaluation without the
# start-up of the process around it).
runs="${RUNS:-3}"
limit="${LIMIT:-60}"
timed() {
    local start end i t reported=0 times=()
    [ "$1" = "--reported" ] && { reported=1; shift; }
    for ((i = 0; i < runs; i++)); do
        start=$(now)
        timeout "$limit" "$@" >"$work/out" 2>"$work/err"
        if [ $? = 124 ]; then
            echo ">$limit"
            return
        fi
        end=$(now)
        t=""
        [ $reported = 1 ] && t=$(awk '$1 == "seconds" { s = $2 } END { if (s != "") printf "%.3f", s }' "$work/err")
        [ -z "$t" ] && t=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
        times+=("$t")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

# An engine's time over the runner's ("-" without a runner time).
ratio_of() {
    [ -z "$2" ] && { echo "-"; return; }
    awk -v a="$1" -v b="$2" 'BEGIN { over = sub(/^>/, "", a); if (b > 0) printf "%s%.2f", over ? ">" : "", a / b; else print "-" }'
}

engines=()
for e in duk mujs node; do command -v "$e" >/dev/null && engines+=("$e"); done
command -v python3 >/dev/null && python3 -c 'import quickjs' 2>/dev/null && engines+=(quickjs)

# How each engine runs a script file.
run_engine() {
    local e="$1" file="$2"
    case "$e" in
        quickjs) timed --reported python3 "$here/quickjs_run.py" "$file" ;;
        *) timed "$e" "$file" ;;
    esac
}

# Scripts and the names they show: fib, shapes/int_mixed.
scripts=("$here"/*.js "$here"/shapes/*.js)
shown_name() { local n="${1#"$here"/}"; echo "${n%.js}"; }
chosen() {
    local shown="$1" arg
    shift
    [ $# -eq 0 ] && return 0
    for arg in "$@"; do
        [ "$arg" = "$shown" ] || [ "$arg" = "$(basename "$shown")" ] || [ "$arg" = "$(dirname "$shown")" ] && return 0
    done
    return 1
}
width=6
for script in "${scripts[@]}"; do
    n="$(shown_name "$script")"
    [ ${#n} -gt $width ] && width=${#n}
done

# Sums of log ratios for the geometric means: runner over each engine
# ("over"), and each ratio column (engine over runner, "ratio").
declare -A log_over=() log_ratio=() counted=()
tally() {
    local key="$1" t="$2" t_runner="$3"
    [ -z "$t_runner" ] || [[ "$t" == ">"* ]] || [ "$t" = "-" ] && return
    read -r o r < <(awk -v a="$t" -v b="$t_runner" 'BEGIN { if (a > 0 && b > 0) printf "%.9f %.9f\n", log(b / a), log(a / b); else print "x x" }')
    [ "$o" = x ] && return
    log_over[$key]=$(awk -v s="${log_over[$key]:-0}" -v d="$o" 'BEGIN { printf "%.9f", s + d }')
    log_ratio[$key]=$(awk -v s="${log_ratio[$key]:-0}" -v d="$r" 'BEGIN { printf "%.9f", s + d }')
    counted[$key]=$((${counted[$key]:-0} + 1))
}
geomean() {
    local key="$1" sums="$2"
    [ -z "${counted[$key]:-}" ] && { echo "-"; return; }
    local -n table="$sums"
    awk -v s="${table[$key]}" -v n="${counted[$key]}" 'BEGIN { printf "%.2f", exp(s / n) }'
}

baseline="${BASELINE:-}"
[ -n "$baseline" ] && { [ -f "$(dirname "$baseline")/TOLV.config" ] || : >"$(dirname "$baseline")/TOLV.config"; }
printf "%-${width}s %10s" "script" "runner"
[ -n "$baseline" ] && printf ' %10s %7s' "baseline" "ratio"
for e in "${engines[@]}"; do printf ' %10s %7s %5s' "$e" "ratio" "same"; done
printf '\n'

shift $(($# > 0 ? 1 : 0))
for script in "${scripts[@]}"; do
    name="$(shown_name "$script")"
    chosen "$name" "$@" || continue
    t_runner=$(timed "$runner" -e 'main()' "$script")
    grep '^(L) ' "$work/out" | sed 's/^(L) //' >"$work/expected"
    note=""
    if [ ! -s "$work/expected" ]; then
        printf "%-${width}s %10s" "$name" "failed"
        note="  runner: $(grep -m1 'ERROR' "$work/out" || head -c 120 "$work/err")"
        t_runner=""
    else
        printf "%-${width}s %10s" "$name" "$t_runner"
    fi
    [[ "$t_runner" == ">"* ]] && t_runner=""
    if [ -n "$baseline" ]; then
        t=$(timed "$baseline" -e 'main()' "$script")
        printf ' %10s %7s' "$t" "$(ratio_of "$t" "$t_runner")"
        tally baseline "$t" "$t_runner"
    fi
    # The other engines get the same text and a call of main().
    { cat "$script"; printf '\nmain();\n'; } >"$work/$(basename "$name").js"
    for e in "${engines[@]}"; do
        t=$(run_engine "$e" "$work/$(basename "$name").js")
        same="no"
        cmp -s "$work/out" "$work/expected" && same="yes"
        [[ "$t" == ">"* ]] && same="-"
        ratio="-"
        [ -n "$t_runner" ] && ratio=$(ratio_of "$t" "$t_runner")
        printf ' %10s %7s %5s' "$t" "$ratio" "$same"
        tally "$e" "$t" "$t_runner"
    done
    printf '%s\n' "$note"
done

# Geometric means over the scripts that both the runner and the engine
# finished in time: first of each ratio column, then of the runner's time
# over the engine's (below 1: the runner is faster).
printf "%-${width}s %10s" "geomean" ""
[ -n "$baseline" ] && printf ' %10s %7s' "" "$(geomean baseline log_ratio)"
for e in "${engines[@]}"; do printf ' %10s %7s %5s' "" "$(geomean "$e" log_ratio)" ""; done
printf '\n'
printf 'runner time / engine time, geometric mean:'
[ -n "$baseline" ] && printf ' baseline %s (%s),' "$(geomean baseline log_over)" "${counted[baseline]:-0}"
for e in "${engines[@]}"; do printf ' %s %s (%s scripts)' "$e" "$(geomean "$e" log_over)" "${counted[$e]:-0}"; done
printf '\n'
printf 'load average at the end: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
