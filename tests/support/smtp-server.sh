#!/usr/bin/env bash
# Starts or stops the mail server of the mailing suite (smtp-server.py) on 127.0.0.1, on the
# first three free ports in a row from 2525 on (plain, STARTTLS, SMTPS), with a certificate
# for 127.0.0.1 made for the run. The suite reads STATE_DIR/port, trusts STATE_DIR/cert.pem
# and finds the stored messages in STATE_DIR/mail. PYTHON names the interpreter that has
# aiosmtpd.
set -u
cmd=$1
state=$2/smtp-server
python=${PYTHON:-python3}
here=$(cd "$(dirname "$0")" && pwd)

. "$here/server-common.sh"

case "$cmd" in
start)
    stop_server
    if ! "$python" -c "import aiosmtpd" 2>/dev/null; then
        echo "$python has no aiosmtpd: install python3-aiosmtpd" >&2
        exit 1
    fi
    rm -rf "$state"
    mkdir -p "$state/mail"
    port=""
    for p in $(seq 2525 3 2625); do
        if ! listening "$p" && ! listening $((p + 1)) && ! listening $((p + 2)); then
            port=$p
            break
        fi
    done
    [ -n "$port" ] || { echo "no free ports between 2525 and 2625" >&2; exit 1; }
    if ! openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
            -addext subjectAltName=IP:127.0.0.1 -keyout "$state/key.pem" -out "$state/cert.pem" \
            >"$state/openssl.log" 2>&1; then
        echo "cannot make the server's certificate:" >&2
        cat "$state/openssl.log" >&2
        exit 1
    fi
    setsid "$python" "$here/smtp-server.py" --port "$port" --folder "$state/mail" \
        --cert "$state/cert.pem" --key "$state/key.pem" >"$state/server.log" 2>&1 </dev/null &
    echo $! >"$state/pid"
    for _ in $(seq 1 100); do
        if listening "$port" && listening $((port + 2)); then
            echo "$port" >"$state/port"
            echo "mail server started on port $port (pid $(cat "$state/pid"))"
            exit 0
        fi
        kill -0 "$(cat "$state/pid")" 2>/dev/null || break
        sleep 0.1
    done
    echo "the mail server did not start:" >&2
    cat "$state/server.log" >&2
    exit 1
    ;;
stop)
    stop_server
    exit 0
    ;;
esac
echo "usage: $0 start|stop STATE_DIR" >&2
exit 2
