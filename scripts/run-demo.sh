#!/usr/bin/env bash
# Demo run: makes the demo register demo/BlCorvane.DB from resources/demo/demo-bls.jsonl
# when it is missing, then lists it. Usage: scripts/run-demo.sh BUILD_DIR
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "$1" && pwd)"
tool="$build/bl-tool"
register="$root/demo/BlCorvane.DB"

if [ ! -x "$tool" ]; then
    echo "bl-tool not found in $build: build first" >&2
    exit 2
fi

mkdir -p "$root/demo"
if [ ! -e "$register" ]; then
    "$tool" create register "$register"
    # A register that failed to fill would be kept by later runs: remove it.
    if ! "$tool" import "$register" < "$root/resources/demo/demo-bls.jsonl"; then
        rm -f "$register" "${register%.DB}.MB"
        exit 2
    fi
fi

# The template pair stays where the build made it, beside the executable.
echo "Transfer template: $build/BLDisquete.DB"
"$tool" dump "$register"
