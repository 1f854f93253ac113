#!/usr/bin/env bash
# Fuzzes one target with AFL++ for a given time:
#
#   scripts/fuzz.sh <target> <seconds>
#
# Targets: the names in cmake/Fuzz.cmake (HP_FUZZ_TARGETS), e.g. handshake.
# Installs AFL++ from Debian when it is missing, builds the target with
# AddressSanitizer and UndefinedBehaviorSanitizer in build/fuzz, runs
# afl-fuzz from the seed corpus tests/fuzz/corpus/<target> into
# build/fuzz/out/<target> (started afresh each time), and prints the
# executions and findings. Exits 1 when it saved a crash or a hang.
#
# Instrumentation: afl-g++-fast when AFL++'s GCC plugin loads; otherwise
# (Debian 12's afl++ 4.04c plugin refuses the g++ 12.2.0-14+deb12u1 of the
# archive) g++ with -fsanitize-coverage=trace-pc, recorded for AFL++ by
# tests/fuzz/afl_trace_pc.cpp. Either way the entry is AFL++'s libAFLDriver.a
# in persistent mode.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

read -r -a targets <<<"$(sed -nE 's/^set\(HP_FUZZ_TARGETS (.*)\)$/\1/p' cmake/Fuzz.cmake)"
usage() {
    echo "usage: $0 <target> <seconds>" >&2
    echo "targets: ${targets[*]}" >&2
    exit 2
}
(($# == 2)) || usage
target=$1 seconds=$2
[[ " ${targets[*]} " == *" $target "* ]] || usage
[[ $seconds =~ ^[1-9][0-9]*$ ]] || usage

log() { echo "fuzz: $*" >&2; }

# ------------------------------------------------------------- AFL++
if ! dpkg-query -W -f='${Status}' afl++ 2>/dev/null | grep -q "install ok installed"; then
    log "installing afl++"
    sudo=""
    if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends afl++ >/dev/null
fi
driver="$(dpkg -L afl++ | grep -m1 '/libAFLDriver\.a$')"
afl_lib="$(dirname "$driver")"

# ------------------------------------------------------ instrumentation
probe_dir="$(mktemp -d "${TMPDIR:-/tmp}/hearthpad-afl-probe.XXXXXX")"
trap 'rm -rf "$probe_dir"' EXIT
echo 'int main() { return 0; }' >"$probe_dir/probe.cpp"
if AFL_QUIET=1 afl-g++-fast "$probe_dir/probe.cpp" -o "$probe_dir/probe" >"$probe_dir/probe.log" 2>&1; then
    coverage=compiler cc=afl-gcc-fast cxx=afl-g++-fast
    log "instrumenting with afl-g++-fast"
else
    coverage=trace-pc cc=gcc cxx=g++
    log "afl-g++-fast cannot build here ($(grep -m1 -o 'GCC and plugin have incompatible versions' \
        "$probe_dir/probe.log" || echo 'see its output')); instrumenting with g++ -fsanitize-coverage=trace-pc"
fi

# ---------------------------------------------------------------- build
build=build/fuzz
if [[ -f $build/CMakeCache.txt ]] &&
    ! grep -qx "HEARTHPAD_FUZZ_COVERAGE:STRING=$coverage" "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
export AFL_USE_ASAN=1 AFL_USE_UBSAN=1 AFL_QUIET=1  # read by afl-g++-fast
nice -n 10 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
    -DHEARTHPAD_FUZZ=ON -DHEARTHPAD_TESTS=OFF -DHEARTHPAD_SANITIZE=ON \
    -DHEARTHPAD_FUZZ_COVERAGE="$coverage" -DHEARTHPAD_AFL_LIB_DIR="$afl_lib" >/dev/null
nice -n 10 cmake --build "$build" -j 2 --target "${target}_fuzz"
unset AFL_USE_ASAN AFL_USE_UBSAN AFL_QUIET

# ----------------------------------------------------------------- fuzz
out="$build/out/$target"
rm -rf "$out"
mkdir -p "$build/out"
log "fuzzing $target for $seconds s (log: $out.log)"
# The machine is shared: low priority, no core pinning, no demands on the
# CPU governor or on where the system sends core dumps.
# Dictionaries of the JSON targets' tokens and member names.
dict=()
case $target in
    messages | handshake) dict=(-x tests/fuzz/dict/json.dict) ;;
    paired_store | mapping | tailscale_status | update_manifest) dict=(-x "tests/fuzz/dict/$target.dict") ;;
esac
status=0
AFL_NO_UI=1 AFL_NO_AFFINITY=1 AFL_SKIP_CPUFREQ=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 \
    nice -n 10 afl-fuzz -i "tests/fuzz/corpus/$target" -o "$out" "${dict[@]}" -V "$seconds" -- "$build/${target}_fuzz" \
    >"$out.log" 2>&1 || status=$?
stats="$out/default/fuzzer_stats"
if [[ ! -f $stats ]]; then
    tail -n 30 "$out.log" >&2
    log "afl-fuzz did not start (exit $status)"
    exit 1
fi
field() { sed -nE "s/^$1 *: (.*)$/\1/p" "$stats"; }
echo "target:        $target"
echo "instrumented:  $coverage"
echo "run time:      $(field run_time) s"
echo "executions:    $(field execs_done) ($(field execs_per_sec) per second)"
echo "corpus:        $(field corpus_count) inputs, edge map $(field bitmap_cvg) covered"
echo "crashes:       $(field saved_crashes)"
echo "hangs:         $(field saved_hangs)"
mapfile -t findings < <(find "$out/default/crashes" "$out/default/hangs" -type f -name 'id:*' 2>/dev/null | sort)
if ((${#findings[@]})); then
    printf '  %s\n' "${findings[@]}"
    echo "replay one with: build/native/fuzz_replay_$target <file>"
    exit 1
fi
