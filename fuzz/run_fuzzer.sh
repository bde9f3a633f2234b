#!/bin/sh
# Runs the fuzzer given as arguments. GNUstep's logging of every malformed file is left out of the
# output, and on a failure what decides it is repeated at the end, where a short excerpt of the
# output still shows the error and the input that caused it.
log=$(mktemp)
"$@" >"$log" 2>&1
status=$?
gnustep='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]+ preferences_fuzzer\['
grep -a -v -E "$gnustep" "$log"
if [ "$status" -ne 0 ]; then
    echo "The fuzzer failed with status $status. GNUstep's last messages:"
    grep -a -E "$gnustep" "$log" | tail -n 3
    echo "What failed:"
    grep -a -E 'ERROR|SUMMARY|runtime error|holds|left objects|out-of-memory|Test unit written|Base64' "$log" | tail -n 12
fi
rm -f "$log"
exit "$status"
