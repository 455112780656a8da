#!/usr/bin/env bash
# test-installer.sh SETUP INIT_REG: under Wine (WINEPREFIX set, an X display in DISPLAY), installs Vendrel
# silently, checks what landed where, starts the installed program with an Init.reg beside it and closes it,
# starts it again with a window size in the registry and closes it, then uninstalls silently and checks that
# nothing is left: not in the program folder, not in the Start menu, not in Add/Remove Programs.
set -euo pipefail
setup=$1
initReg=$2
[[ -n "${DISPLAY:-}" ]] || { echo "no X display (tools/test-windows gives one): skipped"; exit 77; }
command -v xdotool >/dev/null || { echo "xdotool missing (tools/setup --windows installs it): skipped"; exit 77; }

folder="$WINEPREFIX/drive_c/Program Files/Brannoc/Vendrel"
startMenu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vendrel.lnk"
uninstallKey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brannoc Vendrel'
productKey='HKCU\Software\Brannoc\Vendrel'
fail() { echo "FAIL: $*" >&2; exit 1; }
value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }

# A silent install returns when it is done.
timeout 120 wine "$setup" /S
for file in vendrel.exe vendrel-script.exe Uninstall.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Svg.dll \
            libstdc++-6.dll plugins/platforms/qwindows.dll plugins/styles/qwindowsvistastyle.dll \
            plugins/iconengines/qsvgicon.dll plugins/imageformats/qsvg.dll translations/qt_sv.qm \
            examples/Init.reg "Rensa och spara.scr"; do
    [[ -f "$folder/$file" ]] || fail "not installed: $file"
done
for file in Init.reg Qt6Test.dll plugins/platforms/qoffscreen.dll; do
    [[ ! -e "$folder/$file" ]] || fail "installed, but must not be: $file"
done
[[ -f "$startMenu" ]] || fail "no Start-menu entry"
[[ "$(value "$uninstallKey" QuietUninstallString)" == '"C:\Program Files\Brannoc\Vendrel\Uninstall.exe" /S' ]] ||
    fail "not registered in Add/Remove Programs"
echo "installed: $(du -sk "$folder" | cut -f1) KiB in C:\\Program Files\\Brannoc\\Vendrel"

# Starts the installed program, waits for its window, closes it as the window's close button does (taskkill
# without /f sends WM_CLOSE) and waits for it to end by itself.
run() {
    wine "C:\\Program Files\\Brannoc\\Vendrel\\vendrel.exe" </dev/null >/dev/null 2>&1 &
    local pid=$!
    timeout 60 xdotool search --sync --onlyvisible --name '^Vendrel$' >/dev/null || fail "no window"
    sleep 1
    wine taskkill /im vendrel.exe >/dev/null 2>&1 || true
    local waited=0
    while kill -0 "$pid" 2>/dev/null; do
        ((waited++ < 300)) || { kill "$pid"; fail "did not end when closed"; }
        sleep 0.1
    done
    wait "$pid" || fail "ended with $?"
}

# A first start: the Init.reg beside the program goes through REGEDIT /s, å ä ö in the ANSI code page.
wine reg delete "$productKey" /f >/dev/null 2>&1 || true
cp "$initReg" "$folder/Init.reg"
run
rm "$folder/Init.reg"
# reg writes in the console's (OEM) code page, 850 here.
[[ "$(value "$productKey" InitRegTest | tr -d "\n" | iconv -f CP850 -t CP1252 2>/dev/null | od -An -tx1 | tr -d ' \n')" == \
   "e5e4f620c5c4d6" ]] || fail "Init.reg not imported: '$(value "$productKey" InitRegTest)'"
[[ -n "$(value "$productKey\\Main" Width)" ]] || fail "closing wrote no window size"

# The next start takes the size from the registry, and the close writes it back unchanged.
wine reg add "$productKey\\Main" /v Width /t REG_SZ /d 9000 /f >/dev/null
wine reg add "$productKey\\Main" /v Height /t REG_SZ /d 6000 /f >/dev/null
run
[[ "$(value "$productKey\\Main" Width)" == 9000 && "$(value "$productKey\\Main" Height)" == 6000 ]] ||
    fail "the window size did not come back: $(value "$productKey\\Main" Width) x $(value "$productKey\\Main" Height)"

# The uninstaller copies itself away and returns at once: wait for the folder to go.
wine "C:\\Program Files\\Brannoc\\Vendrel\\Uninstall.exe" /S
for _ in $(seq 600); do
    [[ -e "$folder" ]] || break
    sleep 0.1
done
[[ ! -e "$folder" ]] || fail "left behind: $(cd "$folder" && find . -mindepth 1 | head)"
[[ ! -e "$startMenu" ]] || fail "the Start-menu entry is left"
[[ -z "$(value "$uninstallKey" UninstallString)" ]] || fail "still in Add/Remove Programs"
echo "installed, started, closed and uninstalled: nothing left"
