#!/usr/bin/env bash
# Times the download job against two peers on the same links, and the parse job.
#
#   bench/download_bench.sh [BUILD_DIR] [SONGS] [SIZE] [WORKERS] [RUNS]
#
# Defaults: build, 200 songs of 4MiB, 5 workers, 3 runs. Starts the demo site,
# runs download_bench (the real window, offscreen), then curl --parallel and
# aria2c on the links it parsed, each into an empty folder, RUNS times in turn;
# then parses a 500-song playlist (501 requests). Prints the best wall time and
# the highest peak memory of each, and whether the targets hold: Melvara within
# 1.25 x the faster peer, peak memory within 5 x the song size + 64 MiB.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
songs=${2:-200}
size=${3:-4MiB}
workers=${4:-5}
runs=${5:-3}

work=$(mktemp -d)
site_pid=""
cleanup() {
    [ -n "$site_pid" ] && kill "$site_pid" 2>/dev/null && wait "$site_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

start_site() {  # songs size
    "$build/tools/demo_site/melvara-demo-site" --songs "$1" --size "$2" --dir "$work/certs" \
        >"$work/site.out" 2>&1 &
    site_pid=$!
    for _ in $(seq 200); do
        grep -q '^port=' "$work/site.out" && break
        sleep 0.05
    done
    port=$(sed -n 's/^port=\([0-9]*\).*/\1/p' "$work/site.out")
    ca=$(sed -n 's/.* ca=\(.*\)$/\1/p' "$work/site.out")
    [ -n "$port" ] || { cat "$work/site.out"; exit 1; }
    export MELVARA_SITE_HOST="music.localhost:$port" CURL_CA_BUNDLE="$ca"
}
stop_site() {
    kill "$site_pid"; wait "$site_pid" 2>/dev/null || true; site_pid=""
}
# Runs a command under /usr/bin/time; prints "seconds peak_kib" into $work/$1.time.
timed() {
    local name=$1; shift
    /usr/bin/time -f "%e %M" -o "$work/$name.time" "$@"
}

bytes=$(numfmt --from=iec "${size%iB}")
count() { find "$1" -name '*.mp3' -size "${bytes}c" | wc -l; }
echo "== $songs songs of $size ($bytes bytes), $workers at a time; $(nproc) cores"
start_site "$songs" "$size"

# Best time and highest peak of each tool over the runs.
melvara_ms=""; melvara_kib=0; curl_s=""; curl_kib=0; aria2_s=""; aria2_kib=0
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
most() { awk -v a="$1" -v b="$2" 'BEGIN { print (b > a) ? b : a }'; }
fresh() { rm -rf "$work/$1"; mkdir -p "$work/$1"; sync; }

for run in $(seq "$runs"); do
    fresh melvara
    timed melvara "$build/bench/download_bench" --out "$work/melvara" --threads "$workers" \
        --links "$work/links.txt" >"$work/melvara.out"
    grep -h . "$work/melvara.out"
    read -r _ kib <"$work/melvara.time"
    melvara_ms=$(best "$melvara_ms" "$(sed -n 's/.*download_ms=\([0-9.]*\).*/\1/p' "$work/melvara.out")")
    melvara_kib=$(most "$melvara_kib" "$kib")
    melvara_files=$(count "$work/melvara")

    # The same links for the peers. aria2c resolves names through the system,
    # which knows nothing of *.localhost, so it gets the loopback address.
    awk -v dir="$work/curl" '{ printf "url = \"%s\"\noutput = \"%s/%04d.mp3\"\n", $0, dir, NR }' \
        "$work/links.txt" >"$work/curl.config"
    sed "s#https://[^/]*/#https://127.0.0.1:$port/#" "$work/links.txt" >"$work/aria2.txt"

    fresh curl
    timed curl curl --silent --show-error --fail --parallel --parallel-max "$workers" \
        --cacert "$ca" --config "$work/curl.config"
    read -r s kib <"$work/curl.time"
    curl_s=$(best "$curl_s" "$s"); curl_kib=$(most "$curl_kib" "$kib")
    curl_files=$(count "$work/curl")

    fresh aria2
    timed aria2 aria2c --quiet=true -j "$workers" -x 1 --ca-certificate="$ca" \
        --file-allocation=none --auto-file-renaming=false --allow-overwrite=true \
        -d "$work/aria2" -i "$work/aria2.txt"
    read -r s kib <"$work/aria2.time"
    aria2_s=$(best "$aria2_s" "$s"); aria2_kib=$(most "$aria2_kib" "$kib")
    aria2_files=$(count "$work/aria2")
done

echo "best of $runs runs:"
echo "melvara: download ${melvara_ms} ms, peak ${melvara_kib} KiB, $melvara_files complete files"
echo "curl:    ${curl_s} s, peak ${curl_kib} KiB, $curl_files complete files"
echo "aria2c:  ${aria2_s} s, peak ${aria2_kib} KiB, $aria2_files complete files"
awk -v m="$melvara_ms" -v c="$curl_s" -v a="$aria2_s" -v k="$melvara_kib" -v b="$bytes" 'BEGIN {
    peer = (c < a ? c : a) * 1000
    limit = (5 * b + 64 * 1048576) / 1024
    printf "speed:  melvara / faster peer = %.2f (target <= 1.25)\n", m / peer
    printf "memory: %d KiB of %d KiB allowed (5 x song + 64 MiB)\n", k, limit
}'
stop_site

echo "== parsing a 500-song playlist (501 requests)"
start_site 500 64KiB
"$build/bench/download_bench" --parse-only
