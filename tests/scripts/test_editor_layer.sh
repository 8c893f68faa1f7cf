#!/bin/sh
# The game layer calls the editor, so the editor includes nothing of the game:
# the game's set-up reaches it through the hooks the game installs.
# Usage: test_editor_layer.sh SRCDIR
set -u
found=$(grep -rnE '#include "game/' "$1/editor" || true)
if [ -n "$found" ]; then
    echo "src/editor includes headers of the game layer above it:"
    echo "$found"
    exit 1
fi
echo "src/editor includes nothing of the game layer"
