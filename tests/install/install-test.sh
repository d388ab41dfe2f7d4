#!/usr/bin/env bash
# The setup program end to end, in a fresh Wine prefix of its own
# (build/install-test/wineprefix, copied at every run from a template prefix
# made once): builds the setup from the Windows build tree's program
# (tools/package --bin), installs it silently, starts the installed program
# the way its Run value does, installs again over the running program,
# uninstalls silently, and checks after each step what a user and Windows
# find: the files, the shortcut, the registry entries, the running program,
# the kept settings and catalogue, the untouched backup disk, and that
# nothing was written outside the user's profile or to the machine's part of
# the registry (nothing needed administrator rights).
#
# Needs the Windows build (tools/build). Exit 0 passed, 1 failed, 77 skipped
# (NSIS cannot be installed here).
#
#   TVX_INSTALL_TEST_BIN=build/release/bin tests/install/install-test.sh
# packs and tests the Release program instead (after tools/package).
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/lib.sh"

started=$(date +%s)
fail() { tvx_log "install test FAILED: $*"; exit 1; }
expect() {  # expect WHAT COMMAND...: fails the test when the command fails
    local what=$1
    shift
    "$@" || fail "$what"
}
not() { ! "$@"; }
quiet() { "$@" >/dev/null 2>&1; }
# Polls (every 0.1 s, at most SECONDS) until the command succeeds.
wait_until() {
    local limit=$(($1 * 10)) i
    shift
    for ((i = 0; i < limit; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

if ! tvx_ensure_packages "${TVX_PACKAGE_TOOLS[@]}"; then
    tvx_log "install test SKIPPED: NSIS (Debian package nsis) cannot be installed here"
    exit 77
fi

# The program packed: the Windows build tree's, or the one in
# TVX_INSTALL_TEST_BIN (build/release/bin after tools/package tests the
# Release program that ships).
bin=${TVX_INSTALL_TEST_BIN:-$TVX_BUILD/win/bin}
auto=$TVX_BUILD/win/bin/tvxauto.exe
[ -f "$bin/Dovetrak3.exe" ] && [ -f "$auto" ] || fail "build the Windows tree first (tools/build)"
dir=$TVX_BUILD/install-test
setup=$dir/Dovetrak3-Setup.exe
stage=$dir/package/stage
mkdir -p "$dir"
version=$(sed -nE 's/^project\(Dovetrak3 VERSION ([0-9.]+).*/\1/p' "$TVX_ROOT/CMakeLists.txt")
[ -n "$version" ] || fail "no project version in CMakeLists.txt"

tvx_log "install test: building the setup program"
"$TVX_ROOT/tools/package" --bin "$bin" --out "$setup" 2>"$dir/package.log" || {
    cat "$dir/package.log" >&2
    fail "tools/package"
}

# No menu entries or file associations in the Unix desktop for what the
# setup registers: nothing outside the prefix is touched.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
tvx_prefix_init "$dir/template" || fail "the template prefix could not be made"
prefix=$dir/wineprefix
rm -rf "$prefix"
cp -a "$dir/template" "$prefix" || fail "the fresh prefix could not be made"

tvx_display_start || fail "no X display"
tvx_wineserver_start "$prefix"
program=
cleanup() {
    [ -n "$program" ] && kill "$program" 2>/dev/null
    tvx_wineserver_stop "$prefix"
    tvx_display_stop
}
trap cleanup EXIT

user=$(cd "$prefix/drive_c/users" && ls | grep -vx Public)
[ "$(wc -w <<<"$user")" -eq 1 ] || fail "no single user folder in the prefix: $user"
profile=$prefix/drive_c/users/$user
inst="$profile/AppData/Local/Programs/Tavrix Dovetrak 3"
inst_win="C:\\users\\$user\\AppData\\Local\\Programs\\Tavrix Dovetrak 3"
shortcut="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tavrix Dovetrak 3.lnk"
class=Thisisthedovetrak3wndclassname

# What a user set up: a source folder with a document, the backup disk in D:
# (a plain folder of the test, never a removable disk: "NotTavrix"), complete
# settings with mirroring on.
mkdir -p "$prefix/drive_c/users/Public/Documents" "$dir/backup"
rm -rf "${dir:?}/backup/"*
printf 'Dear reader\r\n' >"$prefix/drive_c/users/Public/Documents/Letter.txt"
printf 'kept\r\n' >"$dir/backup/keep.txt"
ln -sfn "$dir/backup" "$prefix/dosdevices/d:"
cat >"$dir/settings.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Tavrix Dovetrak 3\User Options]
"Destination"="D:\\"
"DiskID"="NotTavrix"
"Mirror Status"=dword:00000001
EOF
# Anything the run writes outside the user's profile is newer than this.
touch "$dir/before-install"

# HKEY_CURRENT_USER\Software as text (a .reg export), and one key's lines of it.
hkcu=$dir/hkcu.txt
export_hkcu() {
    rm -f "$dir/hkcu.reg"
    wine reg export 'HKCU\Software' "$(winepath -w "$dir/hkcu.reg")" /y >/dev/null 2>&1 || fail "reg export"
    iconv -f UTF-16LE -t UTF-8 "$dir/hkcu.reg" | tr -d '\r' >"$hkcu"
}
key_lines() { K="[HKEY_CURRENT_USER\\$1]" awk '$0 == ENVIRON["K"] {on = 1; next} /^\[/ {on = 0} on && NF' "$hkcu"; }
has_value() { key_lines "$1" | grep -Fxq -- "$2"; }
has_key() { grep -Fxq "[HKEY_CURRENT_USER\\$1]" "$hkcu"; }
esc=${inst_win//\\/\\\\}  # as a .reg file writes the folder
run_key='Software\Microsoft\Windows\CurrentVersion\Run'
app_paths='Software\Microsoft\Windows\CurrentVersion\App Paths\Dovetrak3.exe'
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavrix Dovetrak 3'
options='Software\Tavrix Dovetrak 3\User Options'
catalogue=(FILES.DBF FILES.CDX DESTS.DBF DESTS.CDX REVNS.DBF REVNS.CDX)

# The names in the program folder, and a list of names, in one form.
listing() { (cd "$inst" && ls -A) | LC_ALL=C sort | tr '\n' ' '; }
names() { printf '%s\n' "$@" | LC_ALL=C sort | tr '\n' ' '; }
folder_holds() { [ "$(listing)" = "$(names "$@")" ]; }
installed_files_match() {
    folder_holds "$@" &&
        cmp -s "$stage/Dovetrak3.exe" "$inst/Dovetrak3.exe" && cmp -s "$stage/tvxdt3.reg" "$inst/tvxdt3.reg" &&
        cmp -s "$stage/index.html" "$inst/index.html" && diff -r "$stage/resources" "$inst/resources" >/dev/null
}
settings_kept() {
    has_value "$options" '"Destination"="D:\\"' && has_value "$options" '"DiskID"="NotTavrix"' &&
        has_value "$options" '"Mirror Status"=dword:00000001'
}
catalogue_kept() {
    local f
    for f in "${catalogue[@]}"; do [ -f "$inst/$f" ] || return 1; done
    grep -aq 'Letter.txt' "$inst/FILES.DBF"
}
mirrored() { [ -f "$dir/backup/users/Public/Documents/Letter.txt" ]; }
backup_untouched() { [ -f "$dir/backup/keep.txt" ] && mirrored; }
program_pid() { wine "$auto" windows | tr -d '\r' | awk -F'\t' -v c="$class" '$4 == c {print $2; exit}'; }
# Whether a process of this shell has ended (a zombie counts as ended).
ended() { local s; s=$(ps -o stat= -p "$1" 2>/dev/null); [ -z "$s" ] || [[ $s == Z* ]]; }

# --- 1. silent install ---------------------------------------------------------
tvx_log "install test: installing silently"
expect "the silent install failed" wine "$setup" /S
expect "installed files differ from what ships" \
    installed_files_match Dovetrak3.exe Uninstall.exe index.html resources tvxdt3.reg
expect "no Start menu shortcut to the program" \
    bash -c 'strings -el "$1" | grep -Fq "$2"' _ "$shortcut" "$inst_win\\Dovetrak3.exe"
export_hkcu
expect "Run value" has_value "$run_key" "\"Tavrix Dovetrak 3\"=\"\\\"$esc\\\\Dovetrak3.exe\\\" StartUp\""
expect "App Paths default value" has_value "$app_paths" "@=\"$esc\\\\Dovetrak3.exe\""
expect "App Paths Path value" has_value "$app_paths" "\"Path\"=\"$esc\""
expect "uninstall entry's version" has_value "$uninstall_key" "\"DisplayVersion\"=\"$version\""
expect "uninstall entry's publisher" has_value "$uninstall_key" '"Publisher"="Tavrix"'
expect "uninstall entry's name" has_value "$uninstall_key" '"DisplayName"="Tavrix Dovetrak 3"'
expect "uninstall entry's uninstaller" \
    has_value "$uninstall_key" "\"UninstallString\"=\"\\\"$esc\\\\Uninstall.exe\\\"\""
expect "uninstall entry's size" bash -c 'grep -Eq "^\"EstimatedSize\"=dword:0*[1-9a-f]" <<<"$1"' _ \
    "$(key_lines "$uninstall_key")"

# --- 2. the installed program, started as the Run value starts it -------------
run=$(key_lines "$run_key" | sed -n 's/^"Tavrix Dovetrak 3"="\(.*\)"$/\1/p' | sed 's/\\"/"/g; s/\\\\/\\/g')
[[ $run =~ ^\"([^\"]+)\"\ (.+)$ ]] || fail "the Run value is no quoted program with a start word: $run"
run_program=${BASH_REMATCH[1]} run_word=${BASH_REMATCH[2]}
# Without settings the program imports the defaults the setup put beside it
# (they leave mirroring off, so a NoStartUp start then ends by itself).
expect "the installed program did not end after a NoStartUp start" wine "$run_program" NoStartUp
expect "the defaults beside the installed program were not imported" \
    quiet wine reg query "HKCU\\$options" /v "Warning Status"
wine regedit /s "$(winepath -w "$TVX_ROOT/tests/e2e/e2e-settings.reg")" "$(winepath -w "$dir/settings.reg")" ||
    fail "settings import"
tvx_log "install test: starting $run_program $run_word"
TVX_TIME_DIVISOR=100 wine "$run_program" "$run_word" &
program=$!
expect "no main window of the installed program" quiet wine "$auto" find "$class" 20000
first_pid=$(program_pid)
expect "the installed program made no mirror copy" wait_until 60 mirrored
expect "the installed program keeps no catalogue in its folder" wait_until 30 catalogue_kept

# --- 3. installing again over the running program -----------------------------
tvx_log "install test: installing again while the program runs"
printf 'damaged\r\n' >"$inst/index.html"
rm -f "$inst/resources/manual.css"
TVX_TIME_DIVISOR=100 wine "$setup" /S || fail "the install over the running program failed"
expect "the running program was not closed" ended "$program"
wait "$program"
program=
expect "files not replaced" installed_files_match "${catalogue[@]}" Dovetrak3.exe Uninstall.exe index.html \
    resources tvxdt3.reg
export_hkcu
expect "settings not kept" settings_kept
expect "catalogue not kept" catalogue_kept
expect "the program did not run again after the update" quiet wine "$auto" find "$class" 20000
second_pid=$(program_pid)
[ -n "$second_pid" ] && [ "$second_pid" != "$first_pid" ] || fail "the same copy still runs ($first_pid)"

# --- 4. silent uninstall ---------------------------------------------------------
tvx_log "install test: uninstalling silently"
# The uninstaller runs on from a copy in the temporary folder; the last thing
# it removes is itself.
expect "the silent uninstall failed" wine "$inst_win\\Uninstall.exe" /S
expect "the uninstaller did not finish" wait_until 30 test ! -e "$inst/Uninstall.exe"
expect "the program still runs" wine "$auto" wait-gone "$class" 15000
expect "the uninstaller left program files (or took the catalogue)" folder_holds "${catalogue[@]}"
expect "the shortcut is still there" test ! -e "$shortcut"
export_hkcu
expect "the Run value is still there" not grep -q '^"Tavrix Dovetrak 3"=' <(key_lines "$run_key")
expect "the App Paths entry is still there" not has_key "$app_paths"
expect "the uninstall entry is still there" not has_key "$uninstall_key"
expect "settings not kept" settings_kept
expect "catalogue not kept" catalogue_kept
expect "the backup disk was touched" backup_untouched

# --- 5. nothing needed administrator rights -------------------------------------
tvx_wineserver_stop "$prefix"  # writes the registry files
expect "the machine's registry names the program" bash -c '! grep -qi dovetrak "$1/system.reg"' _ "$prefix"
expect "the user's registry keeps more than the settings" \
    bash -c '! grep -i dovetrak "$1/user.reg" | grep -v "^\[Software\\\\\\\\Tavrix Dovetrak 3"' _ "$prefix"
outside=$(cd "$prefix/drive_c" && find . -mindepth 1 -newer "$dir/before-install" ! -path "./users/$user" ! -path "./users/$user/*")
[ -z "$outside" ] || fail "written outside the user's profile: $outside"

tvx_log "install test passed in $(($(date +%s) - started)) s"
