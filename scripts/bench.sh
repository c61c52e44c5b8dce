#!/usr/bin/env bash
# Builds the benchmarks (Release, no sanitizers, in build-bench/), runs them
# and prints every figure against its baseline from the same run, with the
# ratio and its goal, then the stripped sizes and the heap of one context.
#
#   bash scripts/bench.sh           full run: medians of 9 repetitions of
#                                   each read and of 5 factory-reset runs on
#                                   1,000 folders x 100 files, on a chain of
#                                   50,000 folders and on one folder of
#                                   200,000 files, all randomly interleaved;
#                                   about 10 minutes on ext4
#   bash scripts/bench.sh --brief   CI: every benchmark once, briefly, on a
#                                   10 x 100 tree, a chain of 200 and 1,000
#                                   files; proves they work, judges no number
#
# In-process reads are compared by CPU time (the machine may be shared);
# the shell read and the two removals, whose work happens in child
# processes, by wall-clock time, with the children's CPU time as a
# cross-check. "measured", "baseline" and "ratio" are medians; "fastest" is
# the ratio of the two fastest repetitions, the least disturbed by other
# work. The goal is judged on the medians. A benchmark that fails makes the
# script fail; a figure that misses its goal does not.
set -euo pipefail
cd "$(dirname "$0")/.."

brief=0
case "${1:-}" in
    --brief) brief=1 ;;
    "") ;;
    *)
        echo "usage: $0 [--brief]" >&2
        exit 2
        ;;
esac

dir=build-bench
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVELQUAR_BUILD_TESTS=OFF \
    -DVELQUAR_SANITIZE=OFF -DVELQUAR_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$dir" -j2 >&2

if [ "$brief" -eq 1 ]; then
    export VELQUAR_BENCH_RESET_SHAPE=${VELQUAR_BENCH_RESET_SHAPE:-10x100}
    export VELQUAR_BENCH_RESET_RUNS=${VELQUAR_BENCH_RESET_RUNS:-1}
    export VELQUAR_BENCH_CHAIN_DEPTH=${VELQUAR_BENCH_CHAIN_DEPTH:-200}
    export VELQUAR_BENCH_FLAT_FILES=${VELQUAR_BENCH_FLAT_FILES:-1000}
    args=(--benchmark_min_time=0.01)
else
    export VELQUAR_BENCH_RESET_SHAPE=${VELQUAR_BENCH_RESET_SHAPE:-1000x100}
    export VELQUAR_BENCH_RESET_RUNS=${VELQUAR_BENCH_RESET_RUNS:-5}
    export VELQUAR_BENCH_CHAIN_DEPTH=${VELQUAR_BENCH_CHAIN_DEPTH:-50000}
    export VELQUAR_BENCH_FLAT_FILES=${VELQUAR_BENCH_FLAT_FILES:-200000}
    # Repetitions of all benchmarks run in random order, so that a change in
    # the machine's load falls on a figure and its baseline alike.
    args=(--benchmark_min_time=0.5 --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
        --benchmark_enable_random_interleaving=true)
fi

# The reset trees are built in build-bench/reset-bench, or under
# VELQUAR_BENCH_DIR (an absolute path) when it is set.
json=$PWD/$dir/bench.json
trees=${VELQUAR_BENCH_DIR:-$PWD/$dir}/reset-bench
rm -rf "$trees"
(cd "$dir" && ./bin/velquar_bench "${args[@]}" --benchmark_out="$json" \
    --benchmark_out_format=json) >&2
rm -rf "$trees"

echo
if [ "$brief" -eq 1 ]; then
    echo "Brief run (reset tree $VELQUAR_BENCH_RESET_SHAPE, chain $VELQUAR_BENCH_CHAIN_DEPTH, flat $VELQUAR_BENCH_FLAT_FILES): the numbers prove the benchmarks run, nothing more."
else
    echo "Full run (reset tree $VELQUAR_BENCH_RESET_SHAPE, chain of $VELQUAR_BENCH_CHAIN_DEPTH folders, flat folder of $VELQUAR_BENCH_FLAT_FILES files, in $(dirname "$trees"), $(stat -f -c %T "$(dirname "$trees")"): median of $VELQUAR_BENCH_RESET_RUNS runs each; reads: medians of 9)."
fi
awk -v brief="$brief" '
    function ns(value, unit) {
        if (unit == "us") return value * 1e3
        if (unit == "ms") return value * 1e6
        if (unit == "s") return value * 1e9
        return value
    }
    function show(t) {
        if (t >= 1e9) return sprintf("%.3f s", t / 1e9)
        if (t >= 1e6) return sprintf("%.1f ms", t / 1e6)
        if (t >= 1e3) return sprintf("%.2f us", t / 1e3)
        return sprintf("%.1f ns", t)
    }
    function showKib(k) { return sprintf("%.1f MiB", k / 1024) }
    function field(line) {
        sub(/^[^:]*: */, "", line)
        sub(/,$/, "", line)
        gsub(/"/, "", line)
        return line
    }
    /^    {/ { run = ""; type = ""; agg = ""; real = ""; cpu = ""; unit = ""; child = ""; peak = ""; err = 0 }
    /"run_name":/ { run = field($0); sub(/\/.*/, "", run) }
    /"run_type":/ { type = field($0) }
    /"aggregate_name":/ { agg = field($0) }
    /"real_time":/ { real = field($0) + 0 }
    /"cpu_time":/ { cpu = field($0) + 0 }
    /"time_unit":/ { unit = field($0) }
    /"child_cpu_s":/ { child = field($0) + 0 }
    /"peak_kib":/ { peak = field($0) + 0 }
    /"error_occurred": true/ { err = 1 }
    /^    }/ {
        if (run == "") next
        if (err) { failed[run] = 1; next }
        # Medians, and the fastest repetition; a run without repetitions
        # serves as both.
        if (type == "aggregate" && agg == "min") {
            keep("min", run); hasMin[run] = 1
        } else if (type == "aggregate" && agg == "median") {
            keep("median", run)
        } else if (type == "iteration") {
            keep("median", run)
            if (!(run in hasMin)) keep("min", run)
        }
    }
    function keep(stat, run) {
        realNs[stat, run] = ns(real, unit); cpuNs[stat, run] = ns(cpu, unit)
        if (child != "") childNs[stat, run] = child * 1e9
        if (peak != "") peakKib[stat, run] = peak
        seen[run] = 1
    }
    function pick(stat, run, clock) {
        if (clock == "cpu") return cpuNs[stat, run]
        if (clock == "child cpu") return childNs[stat, run]
        if (clock == "peak memory") return peakKib[stat, run]
        return realNs[stat, run]
    }
    function figure(label, run, base, clock, goal,    a, b, ratio, fast, verdict) {
        if ((run in failed) || (base in failed) || !(run in seen) || !(base in seen)) {
            printf "%-40s %s\n", label, "FAILED or missing (" run ", " base ")"
            bad = 1
            return
        }
        a = pick("median", run, clock)
        b = pick("median", base, clock)
        ratio = b > 0 ? a / b : 0
        fast = pick("min", base, clock) > 0 ? pick("min", run, clock) / pick("min", base, clock) : 0
        verdict = ""
        if (!brief && goal != "") verdict = ratio <= goal + 0 ? "meets" : "MISSES"
        printf "%-40s %12s %12s %7.2f %8.2f %9s %-6s %s\n", label,
            clock == "peak memory" ? showKib(a) : show(a), clock == "peak memory" ? showKib(b) : show(b),
            ratio, fast,
            goal == "" ? "report" : "<= " goal, verdict, clock
    }
    END {
        printf "%-40s %12s %12s %7s %8s %9s %-6s %s\n", "figure", "measured", "baseline", "ratio",
            "fastest", "goal", "", "clock"
        figure("snapshot read (supportsUHD)", "BM_SnapshotRead", "BM_SnapshotBaseline", "cpu", "1.5")
        figure("string read (hdcpFullVersion)", "BM_StringRead", "BM_StringBaseline", "cpu", "1.5")
        figure("configuration read (fragmentCacheSize)", "BM_ConfigRead", "BM_ConfigBaseline",
            "cpu", "1.5")
        figure("shell read (totalMemory)", "BM_ShellRead", "BM_ShellBaseline", "wall", "1.1")
        figure("context create + release", "BM_ContextCycle", "BM_CatalogueBuild", "cpu", "")
        figure("factory-reset vs rm -rf", "BM_FactoryReset", "BM_RmRf", "wall", "1.2")
        figure("  chain of folders", "BM_FactoryResetChain", "BM_RmRfChain", "wall", "1.2")
        figure("  chain of folders", "BM_FactoryResetChain", "BM_RmRfChain", "peak memory", "2")
        figure("  chain, 16 descriptors", "BM_FactoryResetChain16", "BM_RmRfChain16", "wall", "1.2")
        figure("  chain, 16 descriptors", "BM_FactoryResetChain16", "BM_RmRfChain16", "peak memory", "2")
        figure("  flat folder", "BM_FactoryResetFlat", "BM_RmRfFlat", "wall", "1.2")
        figure("  flat folder", "BM_FactoryResetFlat", "BM_RmRfFlat", "peak memory", "2")
        figure("fleet check, per bundle", "BM_FleetCheck", "BM_FleetReplay", "wall", "")
        print "cross-check by the CPU time of the child processes (less disturbed by load):"
        figure("  shell read (totalMemory)", "BM_ShellRead", "BM_ShellBaseline", "child cpu", "1.1")
        figure("  factory-reset vs rm -rf", "BM_FactoryReset", "BM_RmRf", "child cpu", "1.2")
        figure("  chain of folders", "BM_FactoryResetChain", "BM_RmRfChain", "child cpu", "1.2")
        figure("  flat folder", "BM_FactoryResetFlat", "BM_RmRfFlat", "child cpu", "1.2")
        figure("  fleet check, per bundle", "BM_FleetCheck", "BM_FleetReplay", "child cpu", "")
        exit bad
    }
' "$json"

echo
echo "Stripped sizes (bytes):"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for file in lib/libcom.orvane.velquar.platform.so bin/dravel bin/factory-reset; do
    strip -o "$tmp/stripped" "$dir/$file"
    printf '  %-40s %9d (unstripped %d)\n' "$file" "$(stat -c %s "$tmp/stripped")" \
        "$(stat -c %s "$dir/$file")"
done

echo
echo "Heap of one live context (counting malloc wrapper; mallinfo2 as a cross-check):"
"$dir/bin/velquar_context_heap" | sed 's/^/  /'
