# Shared by tools/test-windows and tools/run --windows (sourced):
#   start_display / stop_display   an X display of its own on Xvfb for Wine's windows (exports DISPLAY)
#   prepare_wine_prefix            makes WINEPREFIX if new, with Wine's Tahoma among its fonts, and starts Wine's
#                                  background programs (the desktop among them), detached from this output
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
# Windows' dialog font "MS Shell Dlg" stands for Tahoma. A Wine folder without it gives Qt the first face it
# finds instead, here DejaVu Math TeX Gyre, whose line height leaves one-line edit boxes looking empty: Wine's
# own Tahoma (Debian: fonts-wine) goes into the Wine folder's Fonts.
prepare_wine_prefix() {
    mkdir -p "$WINEPREFIX"
    # A throwaway program: a new Wine folder is made, and the desktop program starts here rather than with the
    # first test that makes a window, whose output pipes it would then hold open until CTest gives up.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    local fonts="$WINEPREFIX/drive_c/windows/Fonts"
    if [[ -d "$fonts" ]]; then
        for face in /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf; do
            [[ -f "$face" && ! -f "$fonts/$(basename "$face")" ]] && cp "$face" "$fonts/"
        done
    fi
    return 0
}
