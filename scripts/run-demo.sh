#!/usr/bin/env bash
# Demo run: makes the demo register demo/BlCorvane.DB from resources/demo/demo-bls.jsonl
# when it is missing, then starts the program in demo/, where it finds the register.
# Usage: scripts/run-demo.sh BUILD_DIR
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "$1" && pwd)"
tool="$build/bl-tool"
program="$build/bl-emissao"
register="$root/demo/BlCorvane.DB"

for exe in "$tool" "$program"; do
    if [ ! -x "$exe" ]; then
        echo "$(basename "$exe") not found in $build: build first" >&2
        exit 2
    fi
done

mkdir -p "$root/demo"
if [ ! -e "$register" ]; then
    "$tool" create register "$register"
    # A register that failed to fill would be kept by later runs: remove it.
    if ! "$tool" import "$register" < "$root/resources/demo/demo-bls.jsonl"; then
        rm -f "$register" "${register%.DB}.MB"
        exit 2
    fi
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display to show the program on (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "Run it from a desktop session, or under a virtual X server:" >&2
    echo "    xvfb-run -a -s \"-screen 0 1280x1024x24\" make run" >&2
    exit 2
fi

# The register is found in the current directory; the transfer-file template pair stays
# where the build made it, beside the executable.
cd "$root/demo"
# The program speaks Brazilian Portuguese; on a machine without a locale of its own (C or
# POSIX) the demo shows dates, month and weekday names as a Brazilian desktop would.
# Outside a desktop session (a virtual X server, a remote shell) there is no runtime folder;
# give the program a private one rather than have the toolkit warn and pick its own.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="$(mktemp -d)"
    export XDG_RUNTIME_DIR
fi

# The program reads LANG itself (Qt needs no system locale for it); the variables are set
# for the program only, so this shell never tries a locale the machine may not have.
case "${LC_ALL:-${LC_TIME:-${LANG:-C}}}" in
    C|C.*|POSIX) exec env -u LC_ALL -u LC_TIME LANG=pt_BR.UTF-8 "$program" ;;
esac
exec "$program"
