#!/bin/sh
# Every fuzz target checks the debug heap after each input: a source of the
# fuzz folder that defines the fuzzer's entry point must declare a
# QvFuzzHeapCheck (a mention in a comment doesn't count). Two targets once
# went without it, and their leaks went unseen. Usage: test_fuzz_heapcheck.sh FUZZDIR
set -u
dir=$1
targets=0
missing=""
for f in "$dir"/*.cpp "$dir"/*.cc; do
    [ -f "$f" ] || continue
    grep -q 'LLVMFuzzerTestOneInput *(' "$f" || continue
    targets=$((targets + 1))
    # A declaration outside comments: "QvFuzzHeapCheck name;" (or with an initialiser).
    if ! sed -e 's://.*$::' "$f" | grep -qE '^[^*]*QvFuzzHeapCheck +[A-Za-z_][A-Za-z0-9_]* *[;({]'; then
        missing="$missing $(basename "$f")"
    fi
done
if [ "$targets" -eq 0 ]; then
    echo "no fuzz entry point found in $dir"
    exit 1
fi
if [ -n "$missing" ]; then
    echo "fuzz targets without a QvFuzzHeapCheck:$missing"
    exit 1
fi
echo "all $targets fuzz targets check the heap"
