#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and starts the program on a demo database:
# packages, the program and the demo tool, a demo database with sample data, kelvora.ini beside
# the executable. The tests and benchmarks are built by the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target kelvora kelvora-demo

db="$PWD/build/demo/kelvora-demo.fdb"
mkdir -p build/demo
if [ ! -f "$db" ]; then
    build/kelvora-demo create "$db" --ini build
fi
[ -f build/kelvora.ini ] || printf '[RemoteBD]\r\nName=%s\r\n' "$db" > build/kelvora.ini
echo "Starting Kelvora: log in as SYSDBA (any password is accepted by a local file)."
echo "The demo collector can add calls while it runs: build/kelvora-demo live '$db'"
exec build/kelvora
