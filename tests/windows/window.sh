#!/bin/bash
# kestrun.exe under Wine, on Qt's windows platform: its screenshot is the Linux build's canvas
# where the layout puts things (size, background, the two bars, a frame's edges, a trigger
# glyph), and a settings file with a name outside any ANSI code page opens from the command line
# and lands in the recent-file list in the registry, where the program has always kept it.
set -u
exe=$1
host=$2
wine=${KESTRUN_WINE:-/usr/lib/wine/wine64}
dir=$(mktemp -d)
trap 'rm -rf "$dir"; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null' EXIT
failed=0
fail() {
    echo "FAIL $*"
    failed=1
}

QT_QPA_PLATFORM=offscreen "$host" --screenshot "$dir/linux.png" 2>/dev/null || fail "Linux screenshot"
"$wine" "$exe" --screenshot "Z:$dir/wine.png" || fail "kestrun.exe --screenshot"
size() { identify -format '%wx%h' "$1" 2>/dev/null; }
[ "$(size "$dir/wine.png")" = "$(size "$dir/linux.png")" ] &&
    echo "ok   canvas $(size "$dir/wine.png")" ||
    fail "canvas $(size "$dir/wine.png"), Linux $(size "$dir/linux.png")"
# x,y: what is there
pixels=(
    5,5:background 300,100:background 100,700:background
    300,130:bar-edge 300,132:upper-bar 300,134:bar-edge
    300,604:bar-edge 300,606:lower-bar 300,608:bar-edge
    250,23:frame-shadow 250,24:frame-light 150,60:frame-shadow
    533,503:trigger-glyph
)
for entry in "${pixels[@]}"; do
    at=${entry%%:*}
    linux=$(convert "$dir/linux.png" -format "%[pixel:p{$at}]" info: 2>/dev/null)
    windows=$(convert "$dir/wine.png" -format "%[pixel:p{$at}]" info: 2>/dev/null)
    if [ -n "$linux" ] && [ "$linux" = "$windows" ]; then
        echo "ok   ($at) ${entry#*:} $windows"
    else
        fail "($at) ${entry#*:}: Windows $windows, Linux $linux"
    fi
done

# C:\Users\Jörg\Köpfe\日本.set: opened at start, it heads the recent-file list.
folder="$WINEPREFIX/drive_c/users/Jörg/Köpfe"
mkdir -p "$folder"
head -c 18 /dev/zero >"$folder/日本.set"
key='HKCU\Software\Local AppWizard-Generated Applications\Kestrun\Recent File List'
# reg query prints in the ANSI code page, which has no 日本: read the UTF-16 export instead.
registry() {
    rm -f "$dir/reg.reg"
    "$wine" reg export "$key" "Z:$dir/reg.reg" /y >/dev/null 2>&1
    iconv -f UTF-16 -t UTF-8 "$dir/reg.reg" 2>/dev/null | tr -d '\r' | grep '^"File1"='
}
"$wine" reg delete "$key" /f >/dev/null 2>&1
"$wine" "$exe" 'C:\Users\Jörg\Köpfe\日本.set' >/dev/null 2>&1 &
pid=$!
for _ in $(seq 60); do
    registry | grep -q '日本.set' && break
    sleep 0.5
done
kill "$pid" 2>/dev/null
found=$(registry)
[ "$found" = '"File1"="C:\\Users\\Jörg\\Köpfe\\日本.set"' ] && echo "ok   recent files: $found" ||
    fail "recent files: '$found'"
exit $failed
