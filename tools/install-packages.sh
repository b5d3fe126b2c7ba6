#!/usr/bin/env bash
# Installs the Debian packages the program, its tools and its tests need.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
missing=$(for p in $(cat "$here/packages.txt"); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
done)
if [ -n "$missing" ]; then
    $sudo apt-get update
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y $missing
fi
# The program runs, and its tests run, in the users' locale: Russian, which a fresh system
# may not have generated yet.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then
    $sudo sed -i 's/^# *\(ru_RU\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ru_RU\.UTF-8 UTF-8' /etc/locale.gen ||
        echo 'ru_RU.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen
fi
