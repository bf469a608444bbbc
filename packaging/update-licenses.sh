#!/bin/sh
# Refreshes packaging/licenses/ from the Debian copyright files of the libraries Kestrun links
# (and of the MinGW-w64 runtime the Windows build ships), so that every text is the library's
# own and none is written from memory. Needs the packages installed by `make deps` plus the
# MinGW-w64 ones (g++-mingw-w64-x86-64-posix). Run from the repository's root after a library
# changes; review the diff.
set -eu
doc=/usr/share/doc
out=packaging/licenses

# The standalone "License: NAME" paragraph of a Debian copyright file, as plain text.
license() {
    awk -v name="License: $2" '
        started && /^[^ \t]/ { exit }
        started { sub(/^ /, ""); if ($0 == ".") $0 = ""; print }
        $0 == name && previous == "" { started = 1 }
        { previous = $0 }' "$1"
}

# A section of the notices file: a title, where it comes from, then the text.
section() {
    printf '%s\n%s\n(from %s)\n\n' "$1" "$(printf '%s' "$1" | sed 's/./=/g')" "$2"
}

mkdir -p "$out"
# GPL-3, LGPL-3, LGPL-2.1 and the GCC runtime exception are taken from the system at configure time
# (packaging/LicenceTexts.cmake), as they stand.

{
    section "hidapi: BSD-3-clause" "$doc/libhidapi-hidraw0/copyright"
    license "$doc/libhidapi-hidraw0/copyright" BSD-3-clause
} > "$out/hidapi-BSD-3-clause.txt"

{
    section "nlohmann-json: Expat (MIT)" "$doc/nlohmann-json3-dev/copyright"
    license "$doc/nlohmann-json3-dev/copyright" Expat
} > "$out/nlohmann-json-Expat.txt"

mingw="$doc/mingw-w64-common/copyright"
{
    section "MinGW-w64 winpthreads: expat" "$mingw"
    license "$mingw" expat
    echo
    section "MinGW-w64 winpthreads (pthread.h, pthread_compat.h): BSD-3-clause-Lockless" "$mingw"
    awk '/^License: BSD-3-clause-Lockless$/ { on = 1; next }
         on && /^[^ \t]/ { exit }
         on { sub(/^ /, ""); if ($0 == ".") $0 = ""; print }' "$mingw"
    echo
    section "MinGW-w64 winpthreads (dll_math.c): BSD-3-clause" "$mingw"
    license "$mingw" BSD-3-clause
} > "$out/mingw-w64-winpthreads.txt"

qt="$doc/libqt6core6/copyright"
{
    for name in Zlib libpng BSD-3-clause BSD-2-clause FTL Harfbuzz ISC Expat CC0-1.0 brg-endian ICC; do
        section "Qt's bundled code: $name" "$qt"
        license "$qt" "$name"
        echo
    done
} > "$out/Qt-bundled-code.txt"
