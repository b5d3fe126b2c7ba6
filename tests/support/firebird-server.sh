#!/usr/bin/env bash
# Starts or stops the Firebird server on 127.0.0.1:3050 for the client-server suites.
# A server that is already listening is used as it is and left running.
set -u
cmd=$1
state=$2/firebird-server
mkdir -p "$state"

listening() { (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null; }

case "$cmd" in
start)
    rm -f "$state/pid"
    if listening; then
        echo "a Firebird server is already listening on 3050"
        exit 0
    fi
    if [ ! -x /usr/sbin/firebird ]; then
        echo "no /usr/sbin/firebird: install firebird3.0-server" >&2
        exit 1
    fi
    setsid /usr/sbin/firebird >"$state/server.log" 2>&1 < /dev/null &
    echo $! >"$state/pid"
    for _ in $(seq 1 100); do
        if listening; then
            echo "Firebird server started (pid $(cat "$state/pid"))"
            exit 0
        fi
        sleep 0.1
    done
    echo "the Firebird server did not start:" >&2
    cat "$state/server.log" >&2
    exit 1
    ;;
stop)
    if [ -f "$state/pid" ]; then
        pid=$(cat "$state/pid")
        kill "$pid" 2>/dev/null
        for _ in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null
        rm -f "$state/pid"
    fi
    exit 0
    ;;
esac
echo "usage: $0 start|stop STATE_DIR" >&2
exit 2
