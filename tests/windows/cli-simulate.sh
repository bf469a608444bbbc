#!/bin/bash
# kestrun-cli.exe under Wine against the simulated controller: get, send, the failures and
# Ctrl-C give the exit codes the tool documents, and a full 4,096-line upgrade runs on real 5 ms ticks at one
# line a tick (a 15.6 ms system timer would make it three times as slow).
set -u
cli=$1
wine=${KESTRUN_WINE:-/usr/lib/wine/wine64}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0

# expect STATUS WHAT ARGS...: runs the tool with ARGS and checks its exit status.
expect() {
    local want=$1 what=$2
    shift 2
    "$wine" "$cli" "$@" >"$dir/out" 2>"$dir/err"
    local got=$?
    if [ "$got" -ne "$want" ]; then
        echo "FAIL $what: exit status $got, not $want"
        cat "$dir/err"
        failed=1
    else
        echo "ok   $what (exit status $got)"
    fi
}

export KESTRUN_SIM_TICK_MS=0
expect 0 "get -o" --simulate get -o "Z:$dir/head.set"
size=$(stat -c %s "$dir/head.set" 2>/dev/null || echo 0)
[ "$size" -eq 18 ] || { echo "FAIL get -o saved $size bytes, not 18"; failed=1; }
expect 0 "send" --simulate send "Z:$dir/head.set"
KESTRUN_SIM_FAULT=silence expect 1 "get from a silent controller" --simulate get
expect 2 "an unknown command" --simulate frobnicate
expect 3 "send of a missing file" --simulate send "Z:$dir/missing.set"
unset KESTRUN_SIM_TICK_MS

# Ctrl-C (Wine hands SIGINT to the program as the console's Ctrl-C event) cancels the exchange.
KESTRUN_SIM_FAULT=silence "$wine" "$cli" --simulate get >"$dir/out" 2>"$dir/err" &
pid=$!
sleep 2
kill -INT "$pid"
wait "$pid"
status=$?
if [ "$status" -eq 130 ] && [ "$(tr -d '\r' <"$dir/err")" = "Cancelled." ]; then
    echo "ok   Ctrl-C cancels the exchange (exit status 130)"
else
    echo "FAIL Ctrl-C: exit status $status, $(cat "$dir/err")"
    failed=1
fi

# 4,095 data lines of 16 bytes and the end record.
awk 'BEGIN {
    for (i = 0; i < 4095; i++) {
        a = i * 16; sum = 16 + int(a / 256) + a % 256; line = sprintf(":10%04X00", a)
        for (j = 0; j < 16; j++) { b = (a + j) % 256; sum += b; line = line sprintf("%02X", b) }
        printf "%s%02X\n", line, (256 - sum % 256) % 256
    }
    print ":00000001FF"
}' >"$dir/fw.hex"
expect 0 "upgrade of a 4,096-line file on 5 ms ticks" --simulate --verbose upgrade "Z:$dir/fw.hex"
summary=$(tr -d '\r' <"$dir/err" | tail -n 1) # "4113 ticks, 20.66 s"
echo "     $summary"
read -r ticks _ seconds _ <<<"$summary"
if ! [[ "$ticks" =~ ^[0-9]+$ ]] || [ "$ticks" -lt 4096 ] || [ "$ticks" -gt 4300 ] ||
    ! awk -v t="$ticks" -v s="$seconds" 'BEGIN { exit !(s <= t * 0.005 * 1.15) }'; then
    echo "FAIL the upgrade took $summary: not one line a 5 ms tick"
    failed=1
fi
exit $failed
