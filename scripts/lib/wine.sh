# shellcheck shell=bash
# What the scripts that run Tavisto's Windows programs under Wine share. Sourced, after
# `set -euo pipefail`:  source "$root/scripts/lib/wine.sh"
wine_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Wine's windows need an X display: without one, the calling script runs again, with the
# arguments given, under an X server of its own. Callers pass their arguments as already
# resolved, so that the second run reads them the same way.
wine_display() {
    if [[ -z "${DISPLAY:-}" ]]; then
        exec xvfb-run -a "$0" "$@"
    fi
}

# Makes ready the prefix that WINEPREFIX names, <build-dir>/wineprefix by default, with
# Wine's debug output off unless WINEDEBUG asks for it.
wine_prefix() {
    export WINEPREFIX=${WINEPREFIX:-$1/wineprefix}
    export WINEDEBUG=${WINEDEBUG:--all}
    "$wine_scripts/wine-prefix"
}

# A folder of the prefix's user (APPDATA, LOCALAPPDATA) as a Linux path.
wine_user_folder() {
    local windows
    windows=$(wine cmd /c "echo %$1%" 2>/dev/null | tr -d '\r') || return
    winepath -u "$windows"
}

# Puts the configuration file given where the programs read it, %APPDATA%\Tavisto, and
# prints that folder for the caller to remove.
wine_user_configuration() {
    local folder
    folder="$(wine_user_folder APPDATA)/Tavisto" || return
    mkdir -p "$folder" && cp "$1" "$folder/TavistoConfig.json" && echo "$folder"
}

# Lists the DLLs the program imports and fails when one is not in the prefix's system
# folder: the program is copied wherever the user likes, so it may import only what
# Windows has there.
wine_imports_only_system_dlls() {
    local program=$1 dll status=0
    for dll in $(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p'); do
        if [[ -z $(find "$WINEPREFIX/drive_c/windows/system32" -maxdepth 1 -iname "$dll" -print -quit) ]]; then
            echo "${0##*/}: ${program##*/} imports $dll, which is not a system DLL" >&2
            status=1
        else
            echo "  $dll"
        fi
    done
    return "$status"
}

# Exits with the status given once the prefix's programs have ended, so that the next
# step does not race a server that is going away.
wine_exit() {
    wineserver -w
    exit "$1"
}
