#!/usr/bin/env bash
# Builds the fuzz targets with clang (build-fuzz/) and runs each for a bounded
# time over a scratch copy of its seed and regression corpora, two at a time.
# Fails on any finding (a crash, a sanitizer report, a failed check, an input
# that runs longer than 10 s) and says where the input that caused it was saved.
#
#   bash scripts/fuzz.sh              # every target, 30 s each
#   FUZZ_SECONDS=300 bash scripts/fuzz.sh properties network
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup-debian.sh

seconds=${FUZZ_SECONDS:-30}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(reset_config uevent properties network config_store state_file replay_records answers)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELQUAR_FUZZ=ON -DVELQUAR_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

# New corpus entries and findings land here, never in the repository.
work=$root/build-fuzz/fuzz-run
rm -rf "$work"
mkdir -p "$work"

run_target() {
    local name=$1 dir=$work/$1
    mkdir -p "$dir/corpus" "$dir/findings"
    cp -r tests/fuzz/corpus/"$name"/. "$dir/corpus/"
    find tests/fuzz/regressions/"$name" -type f ! -name '.*' ! -name 'README*' \
        -exec cp {} "$dir/corpus/" \;
    local dict=()
    [ -f tests/fuzz/"$name".dict ] && dict=(-dict="$root/tests/fuzz/$name.dict")
    # Standard output is the library's diagnostics; libFuzzer and the
    # sanitizers report on standard error.
    if (cd "$dir" && TMPDIR=$dir "$root/build-fuzz/bin/fuzz_$name" "${dict[@]}" \
            -max_total_time="$seconds" -timeout=10 -close_fd_mask=1 -print_final_stats=1 \
            -artifact_prefix="$dir/findings/" corpus >"$dir/log" 2>&1); then
        echo "fuzz: $name: $(grep -E '^stat::number_of_executed_units' "$dir/log" |
            awk '{print $2}') inputs, no finding"
    else
        echo "fuzz: $name: FINDING; log $dir/log, input(s):" $(ls "$dir"/findings/* 2>/dev/null)
        tail -n 40 "$dir/log"
        return 1
    fi
}

status=0
pids=()
for name in "${targets[@]}"; do
    run_target "$name" &
    pids+=($!)
    # Two at a time: one per core.
    if [ ${#pids[@]} -eq 2 ]; then
        wait "${pids[0]}" || status=1
        pids=("${pids[1]}")
    fi
done
for pid in "${pids[@]}"; do
    wait "$pid" || status=1
done
exit $status
