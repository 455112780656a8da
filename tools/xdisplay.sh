# An X display of its own on Xvfb for Wine's windows: start_display exports DISPLAY, stop_display ends it.
# Sourced by tools/test-windows and tools/run.
xvfb_pid=
start_display() {
    local n=90
    while [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "${VENDREL_SCREEN:-1280x1024x24}" -nolisten tcp </dev/null >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [[ -e /tmp/.X11-unix/X$n ]] && break
        sleep 0.1
    done
    export DISPLAY=":$n"
}
stop_display() {
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    fi
}
