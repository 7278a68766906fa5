#!/usr/bin/env bash
# CI only (root, on a throw-away machine): installs the Debian package for real with dpkg -i,
# checks that the installed programs work from their installed places, then removes the
# package and checks that nothing of it is left.
# Usage: scripts/ci-install-package.sh BUILD_DIR
set -euo pipefail

build="$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)"
debs=("$build"/bl-emissao_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "expected one package in $build: make package first" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "installing for real needs root" >&2
    exit 2
fi

dpkg -i "${debs[0]}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

test "$(bl-tool --version)" = "bl-tool $(dpkg-deb -f "${debs[0]}" Version)"
bl-tool check /usr/share/bl-emissao/BLDisquete.DB
man -w bl-tool >/dev/null
man -w bl-emissao >/dev/null

# The menu entry's command, as a clerk's first start: the register folder is made and the
# entry window shows.
mkdir -p "$work/home"
exec_line="$(sed -n 's/^Exec=//p' /usr/share/applications/bl-emissao.desktop)"
HOME="$work/home" LANG=pt_BR.UTF-8 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    "$1" & pid=$!
    timeout 60 xdotool search --sync --onlyvisible --name "^Emiss.+o de Bill of Lading$" >/dev/null
    shown=$?
    kill $pid; wait $pid 2>/dev/null
    exit $shown' show "$exec_line"
bl-tool check "$work/home/Documentos/BL/BlCorvane.DB"

dpkg -r bl-emissao
if dpkg-query -W -f='${Status}' bl-emissao 2>/dev/null | grep -q 'install ok installed'; then
    echo "bl-emissao is still installed" >&2
    exit 1
fi
for left in /usr/bin/bl-emissao /usr/bin/bl-tool /usr/share/bl-emissao /usr/libexec/bl-emissao \
            /usr/share/applications/bl-emissao.desktop /usr/share/man/man1/bl-tool.1.gz; do
    if [ -e "$left" ]; then
        echo "left behind after removal: $left" >&2
        exit 1
    fi
done
echo "package installed, used and removed cleanly"
