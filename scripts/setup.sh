# Shared set-up of ./test and ./run: Debian packages, then a CMake preset configured once.
# Sourced, not run. Messages go to stderr so that ./run keeps stdout for the program.

MAILSIFT_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Packages every build needs; ./test and the fuzz build add their own.
MAILSIFT_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libglib2.0-dev libpff-dev libbfio-dev
                         libsqlite3-dev libzip-dev libgsf-1-dev)
MAILSIFT_TEST_PACKAGES=(libgtest-dev libgmock-dev python3 pff-tools pst-utils undbx
                        libemail-outlook-message-perl python3-olefile)
MAILSIFT_FUZZ_PACKAGES=(clang libclang-rt-14-dev)

mailsift_say() { printf '%s\n' "$*" >&2; }

mailsift_ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
            sudo=(sudo -n)
        else
            mailsift_say "Mailsift needs these Debian packages: ${missing[*]}"
            mailsift_say "Run as root, or as a user who may use sudo, or install them yourself:"
            mailsift_say "  apt-get install ${missing[*]}"
            return 1
        fi
    fi
    mailsift_say "Installing ${missing[*]} ..."
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >&2 || return 1
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${missing[@]}" >&2 || return 1
}

# Configures PRESET when its build folder has not been set up yet, then builds TARGETS
# (all when none are given). Extra cache settings come from MAILSIFT_CMAKE_ARGS.
mailsift_build() {
    local preset=$1; shift
    local dir="$MAILSIFT_ROOT/build/$preset"
    if [ ! -f "$dir/build.ninja" ] || [ -n "${MAILSIFT_CMAKE_ARGS:-}" ]; then
        # shellcheck disable=SC2086
        cmake --preset "$preset" -S "$MAILSIFT_ROOT" ${MAILSIFT_CMAKE_ARGS:-} >&2 || return 1
    fi
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$dir" "${targets[@]}" >&2
}
