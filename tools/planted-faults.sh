#!/bin/sh
# Plants each fault of tools/planted-faults.txt in the product in turn, runs the suite on it and
# prints which tests failed, as a markdown table; a fault no test fails on is NOT CAUGHT.
#   tools/planted-faults.sh [--build-dir DIR] [--only ID] [--list] [--timeout S] [--output FILE]
# The work is tools/planted-faults.py's (--help lists every option).
exec python3 "$(dirname "$0")/planted-faults.py" "$@"
