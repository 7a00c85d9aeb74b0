#!/usr/bin/env bash
# Zelpan: set up, build and open the sample capture; "./zelpan.sh test" runs every test.
#   ./zelpan.sh            install missing packages, build, open samples/sample.zlc
#   ./zelpan.sh test       the same set-up, then every test (unit, GUI, sanitizers, fuzz)
#   ./zelpan.sh fuzz [S]   long fuzz runs: S seconds per target (default 600)
#   ./zelpan.sh bench      the benchmarks on the 1,000,000-frame capture
set -euo pipefail

top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
build=${ZELPAN_BUILD:-$top/build}
asan=${ZELPAN_ASAN_BUILD:-$top/build-asan}
tsan=${ZELPAN_TSAN_BUILD:-$top/build-tsan}
jobs=${ZELPAN_JOBS:-$(nproc)}
cmd=${1:-run}

# Rebuilds in several trees share one compiler cache when ccache is there.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$top")}
fi

packages=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-14-dev llvm
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libpcap-dev libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-scapy tcpdump tshark iproute2 fonts-ipafont-gothic
)

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then return 0; fi
  echo "zelpan.sh: installing ${missing[*]}"
  local sudo=
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_main() {
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
  cmake --build "$build" -j "$jobs"
}

configure_asan() {
  # clang build with AddressSanitizer and UBSan: the unit tests (Debug) and the fuzz
  # targets (optimised, with their own instrumented copy of the core; see fuzz/CMakeLists.txt).
  CC=clang CXX=clang++ cmake -S "$top" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" \
    -DZELPAN_UI=OFF -DZELPAN_BENCH=OFF -DZELPAN_SANITIZE=ON -DZELPAN_FUZZ=ON >/dev/null
  cmake --build "$asan" -j "$jobs"
}

configure_tsan() {
  CC=clang CXX=clang++ cmake -S "$top" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    -DZELPAN_UI=OFF -DZELPAN_BENCH=OFF -DZELPAN_TSAN=ON >/dev/null
  cmake --build "$tsan" -j "$jobs" --target zelpan_tests
}

run_fuzz() {
  local seconds=$1
  local status=0
  for target in "$asan"/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    local name corpus work
    name=$(basename "$target")
    corpus="$top/fuzz/corpus/${name#fuzz_}"
    # New inputs are written as files as they are found: memory, not disk, when there is some.
    work=$(mktemp -d -p "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
    echo "== $name: replaying $(ls "$corpus" | wc -l) seeds, then ${seconds}s of fuzzing"
    # Replay the committed seeds, then fuzz into a scratch copy so the corpus stays as committed.
    "$target" -runs=0 "$corpus" >/dev/null 2>"$work/replay.log" || { cat "$work/replay.log"; status=1; }
    cp -r "$corpus"/. "$work/"
    # The longest input per target: a whole frame of the largest size for the
    # decoders; for the file reader, room for records, blocks and their lengths
    # (lengths past the end need no bytes behind them); for statistics and
    # streams, some dozens of segments (what one frame holds is the decoders' part).
    local load max_len
    case "$name" in
      fuzz_decode) max_len=70000 ;;
      fuzz_capture_file) max_len=16384 ;;
      *) max_len=4096 ;;
    esac
    load=$(cut -d' ' -f1-3 /proc/loadavg)
    if ! "$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=4096 \
         -print_final_stats=1 -artifact_prefix="$work/" "$work" >"$work/fuzz.log" 2>&1; then
      tail -40 "$work/fuzz.log"
      echo "fuzz target $name failed; the crashing input is in $work"
      status=1
      continue
    fi
    grep -E '^(#[0-9]+.*DONE|Done)' "$work/fuzz.log" | tail -1 || true
    # The speed is the fuzzer's own count over the whole run; the load says how
    # much of the machine the run had.
    awk -v name="$name" -v load="$load" '
      /^stat::number_of_executed_units:/ { units = $2 }
      /^stat::average_exec_per_sec:/ { rate = $2 }
      END { if (rate != "") printf "%s: %d executions per second (%d inputs; load average at start %s)\n", name, rate, units, load }
    ' "$work/fuzz.log"
    rm -rf "$work"
  done
  return $status
}

case "$cmd" in
  run)
    install_packages
    configure_main
    sample="$top/samples/sample.zlc"
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      exec "$build/ui/zelpan" "$sample"
    fi
    "$build/cli/zelpan-cli" summary "$sample"
    echo
    echo "No display found: above is the sample's summary from zelpan-cli."
    echo "To open the window, run on a desktop session:  $build/ui/zelpan $sample"
    ;;
  test)
    install_packages
    configure_main
    echo "== unit and GUI tests"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600
    echo "== sanitizer build (ASan + UBSan)"
    configure_asan
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir "$asan" --output-on-failure -j "$jobs" --timeout 900 -L core
    echo "== fuzz targets"
    run_fuzz "${ZELPAN_FUZZ_SECONDS:-30}"
    if grep -q 'LABELS tsan' "$top/tests/CMakeLists.txt" 2>/dev/null; then
      echo "== ThreadSanitizer"
      configure_tsan
      TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$tsan" --output-on-failure --timeout 900 -L tsan
    fi
    echo "== all tests passed"
    ;;
  fuzz)
    install_packages
    configure_asan
    run_fuzz "${2:-600}"
    ;;
  bench)
    install_packages
    configure_main
    # The 1,000,000-frame capture and its first 100,000 frames, made once.
    big=${ZELPAN_BENCH_CAPTURE:-/tmp/zelpan_bench_1m.pcap}
    small=${ZELPAN_BENCH_CAPTURE_100K:-/tmp/zelpan_bench_100k.pcap}
    gen=${ZELPAN_GEN_MIX:-$top/../shared/tools/gen_mix.py}
    for pair in "$big:1000000" "$small:100000"; do
      f=${pair%%:*}
      if [ ! -f "$f" ]; then
        /usr/bin/python3 "$gen" "$f.part" "${pair##*:}"
        mv -f "$f.part" "$f"
      fi
    done
    export ZELPAN_BENCH_CAPTURE=$big
    echo "== core passes"
    "$build/bench/zelpan_bench" "${@:2}"
    if [ -x "$build/ui/zelpan_ui_bench" ]; then
      echo "== the window's list"
      QT_QPA_PLATFORM=offscreen "$build/ui/zelpan_ui_bench" --benchmark_filter='OpenFirstRowsThenAll|ListFillSynchronous|WindowRepeatedSearch'
    fi
    echo "== the passes over ranges against one ordered pass (ZELPAN_THREADS=1)"
    scratch=$(mktemp -d)
    cli="$build/cli/zelpan-cli"
    "$cli" summary "$big" > "$scratch/many.txt"
    ZELPAN_THREADS=1 "$cli" summary "$big" > "$scratch/one.txt"
    cmp "$scratch/many.txt" "$scratch/one.txt" && echo "summary of $big: the same bytes"
    # The export names its own file, so both runs write to the same name.
    "$cli" export-text "$small" "$scratch/export.txt" && mv "$scratch/export.txt" "$scratch/many.txt"
    ZELPAN_THREADS=1 "$cli" export-text "$small" "$scratch/export.txt" && mv "$scratch/export.txt" "$scratch/one.txt"
    cmp "$scratch/many.txt" "$scratch/one.txt" && echo "export-text of $small: the same bytes"
    rm -rf "$scratch"
    echo "== beside tcpdump and tshark"
    /usr/bin/python3 "$top/tools/bench_peers.py" "$build/cli/zelpan-cli" "$big" "$small"
    ;;
  *)
    echo "usage: ./zelpan.sh [test | fuzz [SECONDS] | bench [benchmark flags]]" >&2
    exit 64
    ;;
esac
