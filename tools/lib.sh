# Shared shell functions of the build, test and demo scripts. Source it.
# Nothing here touches ~/.wine: every prefix lives inside the build folder.

TVX_ROOT=${TVX_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
TVX_BUILD=${TVX_BUILD:-$TVX_ROOT/build}

tvx_log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

# Packages the build and the tests need, by Debian name.
TVX_PACKAGES=(cmake make g++ googletest
              g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
              wine wine64 xvfb x11-utils xauth imagemagick
              libdbd-xbase-perl python3-dbfread
              clang libclang-rt-14-dev libsqlite3-dev)

# The installer's tools: tools/package needs them; tools/test skips the
# installer test when they cannot be installed.
TVX_PACKAGE_TOOLS=(nsis)

# Installs whatever of the given packages (TVX_PACKAGES by default) is
# missing (needs root, as on CI).
tvx_ensure_packages() {
    local missing=() p
    [ $# -gt 0 ] || set -- "${TVX_PACKAGES[@]}"
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    tvx_log "installing: ${missing[*]}"
    local sudo=
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -q >/dev/null || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}" >/dev/null || return 1
}

# Common Wine environment: quiet, no Mono/Gecko install prompts.
tvx_wine_env() {
    export WINEPREFIX=$1
    export WINEDEBUG=${TVX_WINEDEBUG:--all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
    export WINEARCH=win64
}

# Creates a Wine prefix once (kept between runs of the same build folder).
# Every program in it runs inside one virtual desktop "Default" (1024x768),
# which has a taskbar and a notification area.
tvx_prefix_init() {
    local prefix=$1
    tvx_wine_env "$prefix"
    # A prefix made by an older version of these steps is made anew.
    local version=4
    if [ "$(cat "$prefix/.tvx-ready" 2>/dev/null)" != "$version" ]; then
        tvx_log "creating Wine prefix $prefix"
        # Only a prefix these steps made (it has the marker) is ever removed.
        if [ -f "$prefix/.tvx-ready" ]; then
            wineserver -k 2>/dev/null
            wineserver -w 2>/dev/null
            rm -rf "$prefix"
        fi
        mkdir -p "$prefix"
        wineboot -i >/dev/null 2>&1 || { tvx_log "wineboot failed"; return 1; }
        # Wine links the user's folders (Documents, Desktop, ...) to the Unix
        # home. Nothing run in a test prefix may read or write there (the
        # setup wizard offers Documents as the first source): plain empty
        # folders instead.
        local link
        for link in "$prefix"/drive_c/users/*/*; do
            if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
        done
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
        # With the shell on, the desktop has a taskbar with a notification area.
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops\Default' /v EnableShell /t REG_DWORD /d 1 /f >/dev/null 2>&1
        # No crash dialog: a crashing test must end, not wait for a click.
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        if declare -F tvx_prefix_init_disks >/dev/null; then tvx_prefix_init_disks "$prefix" || return 1; fi
        wineserver -w
        echo "$version" >"$prefix/.tvx-ready"
    fi
}

# Keeps one wineserver alive for the prefix while a suite runs.
tvx_wineserver_start() { tvx_wine_env "$1"; wineserver -p; }
tvx_wineserver_stop() { tvx_wine_env "$1"; wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; true; }

# Starts Xvfb on a free display unless DISPLAY already names a usable one.
# Sets TVX_XVFB_PID when it started one.
tvx_display_start() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    local n
    for n in $(seq 90 130); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        TVX_XVFB_PID=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 50); do
            xdpyinfo >/dev/null 2>&1 && return 0
            sleep 0.1
        done
        kill "$TVX_XVFB_PID" 2>/dev/null
    done
    tvx_log "could not start Xvfb"
    return 1
}
tvx_display_stop() { [ -n "${TVX_XVFB_PID:-}" ] && kill "$TVX_XVFB_PID" 2>/dev/null; true; }

# Configures both build trees: Windows (cross) and native (host, sanitizers).
# TVX_JOBS sets the number of parallel compiles (all cores by default).
tvx_build() {
    local jobs
    jobs=${TVX_JOBS:-$(nproc)}
    cmake --no-warn-unused-cli -S "$TVX_ROOT" -B "$TVX_BUILD/win" -DCMAKE_TOOLCHAIN_FILE="$TVX_ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || return 1
    cmake --build "$TVX_BUILD/win" -j "$jobs" || return 1
    cmake -S "$TVX_ROOT" -B "$TVX_BUILD/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null || return 1
    cmake --build "$TVX_BUILD/native" -j "$jobs" || return 1
}

[ -f "$TVX_ROOT/tools/lib-disks.sh" ] && . "$TVX_ROOT/tools/lib-disks.sh"
true
