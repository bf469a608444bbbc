#!/bin/bash
# The installer under Wine: a silent install puts the programs, the Start-menu entry and the
# uninstaller in place, the installed kestrun-cli.exe runs, and the uninstaller removes it all.
set -u
setup=$1
wine=${KESTRUN_WINE:-/usr/lib/wine/wine64}
failed=0
fail() {
    echo "FAIL $*"
    failed=1
}
installed() { find "$WINEPREFIX/drive_c" -path '*/Kestrun/kestrun-cli.exe' 2>/dev/null | head -n 1; }

"$wine" "$setup" /S || fail "setup.exe /S: exit status $?"
cli=$(installed)
if [ -z "$cli" ]; then
    fail "no kestrun-cli.exe installed"
    exit 1
fi
echo "ok   installed: ${cli#"$WINEPREFIX"/}"
folder=$(dirname "$cli")
for file in kestrun.exe Qt6Core.dll libhidapi.dll platforms/qwindows.dll uninstall.exe; do
    [ -f "$folder/$file" ] || fail "not installed: $file"
done
find "$WINEPREFIX/drive_c" -name 'Kestrun.lnk' | grep -q . && echo "ok   Start-menu entry" ||
    fail "no Start-menu entry"
version=$("$wine" "$folder/kestrun-cli.exe" --version | tr -d '\r' | head -n 1)
[[ "$version" == kestrun-cli* ]] && echo "ok   the installed tool runs: $version" ||
    fail "the installed kestrun-cli.exe: '$version'"

# The uninstaller copies itself away and returns at once: wait for the folder to go.
"$wine" "$folder/uninstall.exe" /S
for _ in $(seq 60); do
    [ -d "$folder" ] || break
    sleep 0.5
done
[ ! -d "$folder" ] && echo "ok   uninstalled" || fail "left behind: $(ls -R "$folder")"
find "$WINEPREFIX/drive_c" -name 'Kestrun.lnk' | grep -q . && fail "Start-menu entry left"
exit $failed
