#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and starts the program on a demo database:
# packages, build, a demo database with sample data, kelvora.ini beside the executable.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
bash tools/build.sh

# The embedded engine keeps its lock files in /tmp/firebird, which belongs to group firebird.
run=(bash -c)
if [ "$(id -u)" -ne 0 ] && ! id -nG | tr ' ' '\n' | grep -qx firebird; then
    echo "Adding $USER to group firebird (needed by the embedded database engine)"
    sudo usermod -aG firebird "$USER"
    run=(sg firebird -c)
fi

db="$PWD/build/demo/kelvora-demo.fdb"
mkdir -p build/demo
if [ ! -f "$db" ]; then
    "${run[@]}" "build/kelvora-demo create '$db' --ini build"
fi
[ -f build/kelvora.ini ] || printf '[RemoteBD]\r\nName=%s\r\n' "$db" > build/kelvora.ini
echo "Starting Kelvora: log in as SYSDBA (any password is accepted by a local file)."
"${run[@]}" "build/kelvora"
