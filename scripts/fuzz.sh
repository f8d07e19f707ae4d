#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with address and undefined-behaviour
# sanitizers) and runs each for a set time over a corpus kept in build/.
#
# Usage: scripts/fuzz.sh [-t SECONDS] [--if-available] [TARGET...]
#   -t SECONDS       time per target (default 60, or $BRIX_FUZZ_SECONDS)
#   --if-available   skip with a message, instead of failing, when clang or
#                    libFuzzer is missing and cannot be installed
#   TARGET           a target of fuzz/targets.def (default: all)
#
# Corpora grow in build/fuzz-corpus/TARGET (seeded from examples/, the
# real-world maps in ../shared/corpus/maps and fuzz/regressions/). An input
# that breaks a target is saved in build/fuzz-artifacts/TARGET/; copy it to
# fuzz/regressions/TARGET/ so the test suite replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${BRIX_FUZZ_SECONDS:-60}
if_available=0
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        -t) seconds=$2; shift 2 ;;
        --if-available) if_available=1; shift ;;
        -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
        *) targets+=("$1"); shift ;;
    esac
done
# The one list of targets: fuzz/targets.def.
mapfile -t all_targets < <(sed -n 's/^BRIX_FUZZ_TARGET(\([a-z]*\),.*/\1/p' fuzz/targets.def)
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")
for t in "${targets[@]}"; do
    case " ${all_targets[*]} " in
        *" $t "*) ;;
        *) echo "Unknown fuzz target: $t (targets: ${all_targets[*]})" >&2; exit 2 ;;
    esac
done

# --- tools ------------------------------------------------------------------
have_fuzzer() {
    command -v clang++ >/dev/null 2>&1 || return 1
    echo 'extern "C" int LLVMFuzzerTestOneInput(const char *, unsigned long) { return 0; }' |
        clang++ -x c++ -fsanitize=fuzzer,address,undefined - -o /dev/null >/dev/null 2>&1
}
if ! have_fuzzer; then
    if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
        echo "Installing clang and its libFuzzer runtime"
        apt-get update -qq || true
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-14-dev ||
            DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang || true
    fi
    if ! have_fuzzer; then
        msg="Fuzzing needs clang with libFuzzer (Debian/Ubuntu: sudo apt-get install clang libclang-rt-14-dev)"
        if [ $if_available -eq 1 ]; then
            echo "Fuzzing skipped: $msg"
            exit 0
        fi
        echo "$msg" >&2
        exit 1
    fi
fi
scripts/deps.sh

# --- build ------------------------------------------------------------------
build=build/fuzz
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBRIX_BUILD_FUZZ=ON -DBRIX_SANITIZE=ON -DBRIX_BUILD_TESTS=OFF -DBRIX_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

# --- seeds ------------------------------------------------------------------
maps_dir=$root/../shared/corpus/maps
seeds=$root/build/fuzz-seeds
rm -rf "$seeds"
mkdir -p "$seeds"

map_sources() {
    ls "$root"/examples/*.map 2>/dev/null || true
    [ -d "$maps_dir" ] && ls "$maps_dir"/*.map 2>/dev/null || true
}

# Maps cut into pieces of about 8 KB, each a whole map: at entity boundaries,
# and inside a long entity (a worldspawn of thousands of brushes, brush
# primitives and patches) at brush boundaries, the cut entity closed and
# opened again. At most 24 pieces per map, taken evenly over the whole file,
# so that the blocks far down a map (the patches of kaos.map) are seeds too.
seed_mapfile() {
    local out=$seeds/mapfile
    mkdir -p "$out"
    map_sources | while read -r map; do
        local step=$(( $(wc -c <"$map") / 8192 / 24 + 1 ))
        awk -v max=8192 -v limit=24 -v step="$step" -v out="$out/$(basename "$map" .map)" '
            function open_piece() { name = out "-" n ".map"; keep = n % step == 0 }
            BEGIN { n = 0; open_piece() }
            { t = $0; sub(/\r$/, "", t); gsub(/^[ \t]+|[ \t]+$/, "", t) }
            t == "{" && depth <= 1 && size >= max {
                if (keep && depth == 1) print "}" > name
                if (keep) close(name)
                n++; size = 0; open_piece()
                if (int(n / step) >= limit) exit
                if (keep && depth == 1) print "{" > name
            }
            { if (keep) print > name; size += length($0) + 1 }
            t == "{" { depth++ }
            t == "}" && depth > 0 { depth-- }
        ' "$map"
    done
}

# Distinct face lines of every format found in the maps, about 300.
face_lines() {
    map_sources | while read -r map; do
        tr -d '\r' <"$map" | grep -E '^[[:space:]]*\(' | awk 'NR <= 2000' || true
    done | awk '!seen[$0]++'
}

seed_faceline() {
    local out=$seeds/faceline
    mkdir -p "$out"
    local lines step
    lines=$(face_lines | wc -l)
    step=$(( lines / 300 + 1 ))
    face_lines | awk -v step="$step" -v out="$out" \
        'NR % step == 0 { f = out "/face-" NR; printf "%s", $0 > f; close(f) }'
}

seed_numbers() {
    local out=$seeds/numbers
    mkdir -p "$out"
    local i=0
    for n in 0 -0 1 -1 .5 1. . 1e5 1E-5 -64.5 0.0001 123456789012345678 1.7976931348623157e308 4.9e-324 \
        '$7FFFFFFF' '-$20' 0x10 ' 12' '12 ' '1 2 3' '( 1 2 3 )' '( 1.5 -2 3e2 ) rest'; do
        printf '%s' "$n" >"$out/n$i"
        i=$((i + 1))
    done
    face_lines | tr ' ()' '\n\n\n' | grep -E '^-?[0-9.]+([eE][-+]?[0-9]+)?$' | awk '!seen[$0]++ && ++n <= 200' |
        awk -v out="$out" '{ f = out "/t" NR; printf "%s", $0 > f; close(f) }' || true
}

seed_mask() {
    local out=$seeds/mask
    mkdir -p "$out"
    local i=0
    for pair in 'light*|light_fluoro' '*#12|door#12' '[a-c]*|Bwall' '[!a-z]?|1x' '*?|' 'sky?|SKY1' \
        '*a*b*c|xaybzc' '[a-]|]' '[]|a' 'a[b|ab' '*[0-9]|tex9' '**|' '?*?|ab'; do
        printf '%s\0%s' "${pair%%|*}" "${pair#*|}" >"$out/m$i"
        i=$((i + 1))
    done
}

seed_areaspec() {
    local out=$seeds/areaspec
    mkdir -p "$out"
    local i=0
    for a in r/0/0/64 r/0/0/0/64 c/32/32/100 c/32/32/8/100 r/light/256 c/info_player_start/256 c/door#1/50 \
        b/-512/-512/512/512 b/-512/-512/-256/512/512/256 m/a.map m/c.map 'b/$10/0x20/-$8/1/2/3' r/_x/1; do
        printf '%s' "$a" >"$out/a$i"
        i=$((i + 1))
    done
}

seed_commandline() {
    local out=$seeds/commandline
    mkdir -p "$out"
    local i=0
    for c in 'a.map\nb.map\n-dest:out.map\n-y' 'concat\na.map\nb.map\n-rptx\n-nuid:DOOR1\n-y' \
        'a.map\nb.map\nc.map\n-rntn\n-valve\n-y' \
        'extract\na.map\nb.map\n-dest:x.map\n-y' 'mkid\na.map\nb.map\n-dest:ids.map\n-y' 'rmid\na.map\nb.map' \
        'rmdpid\na.map\n*.map\n-y' 'a.map\n-sc:o.txt' 'a.map\n-ba:b/0/0/0/64/64/64\n-ea:c/light/100\n-y' \
        'a.map\n-ba:m/a.map\n-dse:*#1\n-ddt:[a-f]*\n-y' 'a.map\n-wprops:b.map\n-de:light\n-dt:SKY?\n-y' \
        'c.map' 'a.map\nc.map\n-y' 'a.map\n-ea:r/info_null/5' '-ru' 'help\n-ru' '' \
        'a.map\n-sc:opt.txt\x01-y\n-dest:o2.map\n-sc:opt.txt' 'a.map\n-sc:opt.txt\x01\xff\xfe-\x00y\x00'; do
        printf -- "$c" >"$out/c$i"
        i=$((i + 1))
    done
}

# --- runs -------------------------------------------------------------------
status=0
summary=()
for t in "${targets[@]}"; do
    "seed_$t"
    corpus=$root/build/fuzz-corpus/$t
    artifacts=$root/build/fuzz-artifacts/$t
    mkdir -p "$corpus" "$artifacts"
    flags=()
    dirs=("$corpus" "$seeds/$t")
    [ -f "fuzz/dict/$t.dict" ] && flags+=("-dict=$root/fuzz/dict/$t.dict")
    [ "$t" = mapfile ] && flags+=("-max_len=16384")
    [ -d "fuzz/regressions/$t" ] && dirs+=("$root/fuzz/regressions/$t")
    log=$root/build/fuzz-artifacts/$t.log
    echo "== $t: ${seconds}s"
    set +e
    "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "${flags[@]}" "${dirs[@]}" >"$log" 2>&1
    rc=$?
    set -e
    runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' || echo "?")
    rate=$(grep -Eo 'stat::average_exec_per_sec: *[0-9]+' "$log" | grep -Eo '[0-9]+$' || echo "?")
    files=$(find "$corpus" -type f | wc -l)
    bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%d", s / 1024 }')
    if [ $rc -eq 0 ]; then
        result=ok
    else
        result="FAILED (exit $rc): see $log and $artifacts/"
        status=1
        grep -E 'ERROR|check failed|SUMMARY' "$log" | head -n 5 || true
    fi
    summary+=("$(printf '%-12s %10s runs %8s exec/s  corpus %5s files %6s KB  %s' \
        "$t" "$runs" "$rate" "$files" "$bytes" "$result")")
done
echo
printf '%s\n' "${summary[@]}"
exit $status
