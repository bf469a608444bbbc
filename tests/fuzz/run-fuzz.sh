#!/bin/sh
# Runs each fuzz target for FUZZ_SECONDS (default 60) seconds.
#   run-fuzz.sh SOURCE_FOLDER WORK_FOLDER NAME PROGRAM [NAME PROGRAM ...]
# Each target starts from its checked-in seed corpus (SOURCE_FOLDER/corpus/NAME) and keeps the
# inputs it discovers in WORK_FOLDER/NAME, so the checked-in corpus stays small. A crash is
# written to SOURCE_FOLDER/crashes/NAME/, where the normal test suite replays it from then on.
set -u
source_folder=$1
work_folder=$2
shift 2
seconds=${FUZZ_SECONDS:-60}
failed=0
while [ $# -ge 2 ]; do
    name=$1
    program=$2
    shift 2
    mkdir -p "$work_folder/$name" "$source_folder/crashes/$name"
    echo "== fuzzing $name for $seconds s"
    if ! "$program" -max_total_time="$seconds" -timeout=10 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$source_folder/crashes/$name/" \
        "$work_folder/$name" "$source_folder/corpus/$name"; then
        echo "== $name: the fuzzer found a failing input (see $source_folder/crashes/$name/)"
        failed=1
    fi
done
exit $failed
