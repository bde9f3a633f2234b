#!/usr/bin/env bash
# Runs one step of the build as Theos shows it: one line per thing done, warnings and errors in
# full, none of make's and CMake's bookkeeping; a failing step says which step failed.
# Usage: step.sh "what the step does" command...
set -o pipefail
what=$1
shift
"$@" 2>&1 | sed -u -E \
    -e '/^g?make(\[[0-9]+\])?: (Entering|Leaving) directory/d' \
    -e '/^\[ *[0-9]+%\] Built target /d' \
    -e '/^Consolidate compiler generated dependencies of target /d' \
    -e '/^Scanning dependencies of target /d' \
    -e '/^-- /d' \
    -e '/^ *Start +[0-9]+: /d'
status=$?
[ "$status" -eq 0 ] || echo "make: the step \"$what\" failed (exit status $status)" >&2
exit "$status"
