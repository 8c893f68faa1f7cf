#!/bin/sh
# The engine's base folder sits below every subsystem: no file under src/core
# may include a header of a folder above it. Usage: test_core_layer.sh SRCDIR
set -u
found=$(grep -rnE '#include "(map|units|rules|ui|widgets|net|game|demo|ai|save|shell|multimenu|editor)/' \
    "$1/core" || true)
if [ -n "$found" ]; then
    echo "src/core includes headers of the folders above it:"
    echo "$found"
    exit 1
fi
echo "src/core includes only core and the platform's clock"
