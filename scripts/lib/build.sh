# shellcheck shell=bash
# What the scripts that build or read a build tree share. Sourced:
#   source "$root/scripts/lib/build.sh"
build_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Configures the Windows build (MinGW-w64, Release) in the folder given, with any further
# cmake arguments.
mingw_configure() {
    local build=$1
    shift
    cmake -S "$build_root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$build_root/cmake/mingw-w64.cmake" "$@" >/dev/null
}

# The version a build tree was configured with, as the programs print it.
build_version() {
    sed -n 's/^#define TAVISTO_VERSION_TEXT "\(.*\)"$/\1/p' "$1/generated/tavisto_version.h"
}
