# What the scripts that start a server for the suites share; sourced, with $state set to the
# server's folder (its process id kept in $state/pid).

# True when something answers on 127.0.0.1 at the port.
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Asks the server to end, waits up to five seconds, then kills it.
stop_server() {
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
}
