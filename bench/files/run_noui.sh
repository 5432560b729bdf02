#!/usr/bin/env bash
# The no-UI download of a folder of 20 files of 5 MB against a local devserver, against curl
# fetching the same 20 files with the same access pattern (register and login, list, 20
# sequential downloads on one connection, MD5 of each, logout). The program pauses 1000 ms
# after every file (the service's pacing); that time is reported apart.
#   bench/files/run_noui.sh <velquor> <velquor-devserver> [runs]
set -euo pipefail
velquor=$1
devserver=$2
runs=${3:-3}
files=20
work=$(mktemp -d /tmp/velquor-bench-files.XXXXXX)
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/ready"
"$devserver" --seed demo --port 0 --test-hooks --data "$work/server" >"$work/ready" 2>/dev/null &
server_pid=$!
read -r -t 30 line <"$work/ready"
port=${line##*:}
api="http://127.0.0.1:$port/apps/api/apis"
xml() { sed -n "s:.*<$1>\([^<]*\)</$1>.*:\1:p"; }

login() {
    local ck
    ck=$(curl -s -d customerCode=demo -d loginId=yamada "$api/register" | xml clientKey)
    curl -s -d "clientKey=$ck" -d password=yamada-pass -d pcName=bench "$api/login" | xml accessKey
}

# A folder with 20 files of 5 MB of random bytes.
key=$(login)
folder=$(curl -s -H "x-velquor-access-key: $key" -d workspaceId=0 -d name=bench5mb \
    -d folderStyle=0 -d comment= -d databox=false "$api/workspace/create" | xml id | head -1)
for i in $(seq -w 1 $files); do
    head -c $((5 * 1024 * 1024)) /dev/urandom >"$work/blob"
    curl -s -o /dev/null -H "x-velquor-access-key: $key" -F "workspaceId=$folder" \
        -F "path=/data_$i.bin" -F "file=@$work/blob" "$api/file/create"
done
curl -s -o /dev/null -H "x-velquor-access-key: $key" -d "" "$api/logout"

mkdir -p "$work/install/vqrdata" "$work/home"
{
    printf '\xff\xfe'
    printf 'hostName=127.0.0.1\r\nhttpPort=%s\r\nsecure=0\r\n' "$port" | iconv -f UTF-8 -t UTF-16LE
} >"$work/install/vqrdata/server.vqr"

now() { date +%s.%N; }
program_best=""
curl_best=""
for run in $(seq 1 "$runs"); do
    rm -rf "$work/dest" && mkdir -p "$work/dest"
    t0=$(now)
    (cd "$work/install" && env -u DISPLAY HOME="$work/home" "$velquor" /no_ui /accfirm_id demo \
        /login_id yamada /pp /pwd yamada-pass /src_dir bench5mb /dst_dir "$work/dest" \
        >/dev/null 2>&1)
    t1=$(now)
    own=$(echo "$t1 - $t0 - $files" | bc)
    [ "$(ls "$work/dest" | wc -l)" -eq $files ] || { echo "bench: run $run incomplete" >&2; exit 1; }

    rm -rf "$work/curl" && mkdir -p "$work/curl"
    t0=$(now)
    key=$(login)
    list=$(curl -s -H "x-velquor-access-key: $key" "$api/file/list?workspaceId=$folder")
    # One curl process for the 20 files, reusing its connection as the program does, then the
    # MD5 of each (the program computes it while receiving).
    args=()
    for i in $(seq -w 1 $files); do
        args+=(-o "$work/curl/data_$i.bin" "$api/file/get?workspaceId=$folder&path=%2Fdata_$i.bin")
    done
    curl -s -H "x-velquor-access-key: $key" "${args[@]}"
    md5sum "$work"/curl/*.bin >/dev/null
    curl -s -o /dev/null -H "x-velquor-access-key: $key" -d "" "$api/logout"
    t1=$(now)
    plain=$(echo "$t1 - $t0" | bc)
    : "$list"
    printf 'run %d: velquor %.3f s (+ %d s of pauses), curl %.3f s\n' "$run" "$own" "$files" "$plain"
    if [ -z "$program_best" ] || [ "$(echo "$own < $program_best" | bc)" -eq 1 ]; then program_best=$own; fi
    if [ -z "$curl_best" ] || [ "$(echo "$plain < $curl_best" | bc)" -eq 1 ]; then curl_best=$plain; fi
done
printf 'best: velquor %.3f s without the pauses, curl %.3f s, ratio %.2f\n' \
    "$program_best" "$curl_best" "$(echo "$program_best / $curl_best" | bc -l)"
