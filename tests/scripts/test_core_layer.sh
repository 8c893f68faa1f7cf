#!/bin/sh
# The engine's base folder sits below every subsystem: no file under src/core
# may include a header of a folder above it, and of the platform only its
# interface with the clock (platform/plat.h). Usage: test_core_layer.sh SRCDIR
set -u
above=$(cd "$1" && for d in */; do d=${d%/}; [ "$d" = core ] || [ "$d" = platform ] || printf '%s|' "$d"; done)
above=${above%|}
found=$(grep -rnE "#include \"(${above})/" "$1/core" || true)
platform=$(grep -rnE '#include "platform/' "$1/core" | grep -v '#include "platform/plat.h"' || true)
if [ -n "$found$platform" ]; then
    echo "src/core includes headers of the folders above it:"
    [ -n "$found" ] && echo "$found"
    [ -n "$platform" ] && echo "$platform"
    exit 1
fi
echo "src/core includes only core and the platform's clock"
