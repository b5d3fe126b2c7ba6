#!/usr/bin/env bash
# Checks the package tools/package.sh built as an office gets it, on this machine (as root: it
# installs the package, and makes an ordinary user when there is none): lintian finds no error,
# the desktop entry and the AppStream metadata are valid, apt installs it, and the installed
# program started once by an ordinary user (whose program folder cannot be written) and once
# by root gives each his own settings file, a copy of the administrator's, and changes nothing
# the package installed. The package is purged at the end.
set -euo pipefail
[ "$(id -u)" -eq 0 ] || exec sudo bash "$0" "$@"
cd "$(dirname "$0")/.."
deb=$(ls build/package/kelvora_*.deb)
user=kelvoratest
fail() {
    echo "package check: $*" >&2
    exit 1
}

lintian --fail-on error "$deb"
env DEBIAN_FRONTEND=noninteractive apt-get install -y "./$deb"
trap 'env DEBIAN_FRONTEND=noninteractive apt-get purge -y kelvora >/dev/null' EXIT
desktop-file-validate /usr/share/applications/org.kelvora.Kelvora.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.kelvora.Kelvora.metainfo.xml

# The administrator names the office's database for everyone.
printf '[RemoteBD]\r\nName=/var/lib/kelvora-check/calls.fdb\r\n' >/etc/kelvora/kelvora.ini

# Starts the installed program as the given user with the given home folder, waits until it
# has made the user's settings file and is still running at its login, then ends it as a
# logout would; it must end with status 0 (within a minute).
start_once() {
    local who=$1 home=$2
    local config=$home/.config/kelvora/kelvora.ini pidfile
    pidfile=$(mktemp)
    chown "$who" "$pidfile"
    rm -rf "$home/.config/kelvora"
    # shellcheck disable=SC2016 # the user's shell expands them
    timeout 60 runuser -u "$who" -- env -i HOME="$home" USER="$who" LOGNAME="$who" PATH=/usr/bin:/bin \
        LANG=ru_RU.UTF-8 QT_QPA_PLATFORM=offscreen \
        sh -c 'kelvora & echo $! >"$1"; wait $!' sh "$pidfile" &
    local runner=$! _
    for _ in $(seq 100); do
        [ -f "$config" ] && [ -s "$pidfile" ] && break
        kill -0 "$runner" 2>/dev/null || fail "the program ended at its start ($who)"
        sleep 0.2
    done
    [ -f "$config" ] || fail "no $config after 20 s"
    sleep 1
    kill -0 "$(cat "$pidfile")" 2>/dev/null || fail "the program did not wait at its login ($who)"
    kill -TERM "$(cat "$pidfile")"
    wait "$runner" || fail "the program ended with status $? ($who)"
    rm -f "$pidfile"
    cmp /etc/kelvora/kelvora.ini "$config" || fail "$config is not the administrator's copy"
    [ "$(stat -c '%U %a' "$config")" = "$who 600" ] || fail "$config: $(stat -c '%U %a' "$config")"
}

id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$user"
start_once "$user" "$(getent passwd "$user" | cut -d: -f6)"
# Root can write the program folder, and does not: it is below /usr.
roothome=$(mktemp -d)
start_once root "$roothome"
rm -rf "$roothome"

# Nothing the package installed changed but the administrator's file, nothing was added.
changed=$(dpkg --verify kelvora | grep -v ' c /etc/kelvora/kelvora.ini$' || true)
[ -z "$changed" ] || fail "installed files changed: $changed"
[ "$(find /usr/lib/kelvora | sort)" = "$(dpkg -L kelvora | grep '^/usr/lib/kelvora' | sort)" ] ||
    fail "files added to /usr/lib/kelvora: $(find /usr/lib/kelvora)"
echo "package check: passed"
