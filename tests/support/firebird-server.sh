#!/usr/bin/env bash
# Starts or stops a Firebird server on 127.0.0.1 for the client-server suites. The server is
# private to the test run: its own root, lock directory and security database (SYSDBA with a
# fresh password), on a free port, run by whoever runs the tests; no system file is touched.
# The suites read STATE_DIR/address ("localhost/PORT") and STATE_DIR/password. "halt" kills the
# server, "resume" starts it again on the same port with the same files.
set -u
cmd=$1
state=$2/firebird-server
engine_root=/usr/lib/x86_64-linux-gnu/firebird/3.0
[ -f "$engine_root/firebird.msg" ] || engine_root=$(dirname "$(find /usr/lib -name firebird.msg 2>/dev/null | head -1)")

. "$(dirname "$0")/server-common.sh"

case "$cmd" in
start)
    stop_server
    if [ ! -x /usr/sbin/firebird ]; then
        echo "no /usr/sbin/firebird: install firebird3.0-server" >&2
        exit 1
    fi
    rm -rf "$state"
    mkdir -p "$state/root" "$state/lock" "$state/data"
    chmod 700 "$state"
    port=""
    for p in $(seq 3051 3150); do
        if ! listening "$p"; then port=$p; break; fi
    done
    [ -n "$port" ] || { echo "no free port between 3051 and 3150" >&2; exit 1; }
    password=$(head -c 9 /dev/urandom | od -An -tx1 | tr -d ' \n')
    cp "$engine_root/firebird.msg" "$state/root/"
    # Character sets: the engine takes its module from below its root, and not through a link.
    mkdir -p "$state/root/intl"
    cp -L "$engine_root"/intl/* "$state/root/intl/"
    touch "$state/root/databases.conf"
    cat > "$state/root/firebird.conf" <<CONF
ServerMode = Super
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $state/security3.fdb
IpcName = kelvora_test_$port
CONF
    export FIREBIRD="$state/root" FIREBIRD_LOCK="$state/lock"
    # The security database is made by the embedded engine from the same settings.
    if ! printf "create database '%s'; commit; create user SYSDBA password '%s' using plugin Srp; commit;\n" \
            "$state/security3.fdb" "$password" | isql-fb -q -u SYSDBA >"$state/setup.log" 2>&1 \
        || [ -s "$state/setup.log" ]; then
        echo "cannot make the server's security database:" >&2
        cat "$state/setup.log" >&2
        exit 1
    fi
    setsid /usr/sbin/firebird >"$state/server.log" 2>&1 < /dev/null &
    echo $! >"$state/pid"
    for _ in $(seq 1 100); do
        if listening "$port"; then
            echo "localhost/$port" >"$state/address"
            echo "$password" >"$state/password"
            echo "Firebird server started on port $port (pid $(cat "$state/pid"))"
            exit 0
        fi
        sleep 0.1
    done
    echo "the Firebird server did not start:" >&2
    cat "$state/server.log" >&2
    exit 1
    ;;
stop)
    stop_server
    exit 0
    ;;
halt)
    # The server goes away as a crashed or switched off one does; its files stay for resume.
    # It is gone only when its port no longer answers: a killed process keeps its listening
    # socket until the kernel has torn it down, and a client that knocks meanwhile is rejected
    # instead of finding no server.
    if [ -f "$state/pid" ]; then
        kill -9 "$(cat "$state/pid")" 2>/dev/null
        rm -f "$state/pid"
    fi
    port=$(cut -d/ -f2 "$state/address")
    for _ in $(seq 1 100); do
        listening "$port" || exit 0
        sleep 0.1
    done
    echo "the Firebird server still answers on port $port" >&2
    exit 1
    ;;
resume)
    port=${port:-$(cut -d/ -f2 "$state/address")}
    export FIREBIRD="$state/root" FIREBIRD_LOCK="$state/lock"
    setsid /usr/sbin/firebird >>"$state/server.log" 2>&1 < /dev/null &
    echo $! >"$state/pid"
    for _ in $(seq 1 100); do
        listening "$port" && exit 0
        sleep 0.1
    done
    echo "the Firebird server did not start again" >&2
    exit 1
    ;;
esac
echo "usage: $0 start|stop|halt|resume STATE_DIR" >&2
exit 2
