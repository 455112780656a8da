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

# A run that failed half-way leaves its install registered, and the setup program would go where that one went.
wine reg delete "$uninstallKey" /f >/dev/null 2>&1 || true

# A silent install returns when it is done.
timeout 120 wine "$setup" /S
for file in vendrel.exe vendrel-script.exe Uninstall.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Svg.dll \
            libstdc++-6.dll plugins/platforms/qwindows.dll plugins/styles/qwindowsvistastyle.dll \
            plugins/iconengines/qsvgicon.dll plugins/imageformats/qsvg.dll translations/qt_sv.qm \
            examples/Init.reg "Rensa och spara.scr" obevakad-start.scr obevakad-slut.scr; do
    [[ -f "$folder/$file" ]] || fail "not installed: $file"
done
for file in Init.reg Qt6Test.dll plugins/platforms/qoffscreen.dll; do
    [[ ! -e "$folder/$file" ]] || fail "installed, but must not be: $file"
done
[[ -f "$startMenu" ]] || fail "no Start-menu entry"
[[ "$(value "$uninstallKey" QuietUninstallString)" == '"C:\Program Files\Brannoc\Vendrel\Uninstall.exe" /S' ]] ||
    fail "not registered in Add/Remove Programs"
echo "installed: $(du -sk "$folder" | cut -f1) KiB in C:\\Program Files\\Brannoc\\Vendrel"
# A window program (PE subsystem 2, no console beside it) with the icon that the Start menu and the uninstall
# entry show; the command-line programs stay console programs (3).
subsystem() { local pe; pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' '); od -An -tu2 -j$((pe + 92)) -N2 "$1" | tr -d ' '; }
[[ "$(subsystem "$folder/vendrel.exe")" == 2 ]] || fail "vendrel.exe is not a window program"
[[ "$(subsystem "$folder/vendrel-run.exe")" == 3 ]] || fail "vendrel-run.exe is not a console program"
if command -v wrestool >/dev/null; then
    wrestool -l --type=14 "$folder/vendrel.exe" | grep -q . || fail "vendrel.exe has no icon"
    wrestool -l --type=16 "$folder/vendrel.exe" | grep -q . || fail "vendrel.exe has no version information"
fi
[[ "$(value "$uninstallKey" DisplayIcon)" == 'C:\Program Files\Brannoc\Vendrel\vendrel.exe,0' ]] ||
    fail "the uninstall entry shows no icon: $(value "$uninstallKey" DisplayIcon)"

# Waits up to a minute for the program's window. xdotool gives up with an X error when a window it looks at goes
# away meanwhile (Wine opens and closes windows of its own while a program starts), so the search is tried again.
window_shown() {
    local until=$((SECONDS + 60))
    while ((SECONDS < until)); do
        xdotool search --onlyvisible --name '^Vendrel$' >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    return 1
}

# Starts the installed program (or the one named), waits for its window, closes it as the window's close button
# does (taskkill without /f sends WM_CLOSE) and waits for it to end by itself.
run() {
    wine "${1:-C:\\Program Files\\Brannoc\\Vendrel\\vendrel.exe}" </dev/null >/dev/null 2>&1 &
    local pid=$!
    window_shown || fail "no window"
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

# The uninstaller copies itself away and returns at once: wait for the folder and the Start-menu entry to go
# (under load the entry may go a moment after the folder).
wine "C:\\Program Files\\Brannoc\\Vendrel\\Uninstall.exe" /S
for _ in $(seq 600); do
    [[ -e "$folder" || -e "$startMenu" ]] || break
    sleep 0.1
done
[[ ! -e "$folder" ]] || fail "left behind: $(cd "$folder" && find . -mindepth 1 | head)"
[[ ! -e "$startMenu" ]] || fail "the Start-menu entry is left"
[[ -z "$(value "$uninstallKey" UninstallString)" ]] || fail "still in Add/Remove Programs"
echo "installed, started, closed and uninstalled: nothing left"

# Installed into a folder with å ä ö and started from there as a new user, as the Start menu starts it: the folder
# is stored as the tree spells it, with Windows' separators.
odd='C:\Prog åäö\Vendrel'
oddFolder="$WINEPREFIX/drive_c/Prog åäö/Vendrel"
# /D= must end the command line unquoted, blank and all: cmd passes it on as written, wine itself would quote it.
(cd "$(dirname "$setup")" && timeout 120 wine cmd /c "$(basename "$setup") /S /D=$odd")
[[ -f "$oddFolder/vendrel.exe" ]] || fail "not installed into $odd"
wine reg delete "$productKey" /f >/dev/null 2>&1 || true
(cd "$oddFolder" && run "$odd\\vendrel.exe")
for pair in "$productKey\\Main LastPath" "$productKey\\Main InitPath" "$productKey StartDir"; do
    read -r key setting <<<"$pair"
    stored=$(value "$key" "$setting" | iconv -f CP850 -t UTF-8)
    [[ "$stored" == 'c:\Prog åäö\Vendrel' ]] || fail "$setting stored as '$stored'"
done
wine "$odd\\Uninstall.exe" /S
for _ in $(seq 600); do
    [[ -e "$oddFolder" ]] || break
    sleep 0.1
done
[[ ! -e "$oddFolder" ]] || fail "left behind in $odd"
echo "a first start from $odd stored it whole"
