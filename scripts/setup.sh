# Shared set-up of ./test and ./run: Debian packages, then a CMake preset configured once.
# Sourced, not run. Messages go to stderr so that ./run keeps stdout for the program.

MAILSIFT_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Packages every build needs; ./test and the fuzz build add their own.
# The windows draw their SVG pictures through Qt's SVG plugins and need a font to show any text,
# under the offscreen platform of the tests as on a desktop; neither comes with qt6-base-dev.
MAILSIFT_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libglib2.0-dev libsqlite3-dev libzip-dev
                         libgsf-1-dev qt6-base-dev qt6-svg-dev qt6-qpa-plugins fonts-dejavu-core)
# msgconvert's package only recommends libemail-address-perl, yet msgconvert cannot start
# without it, and packages are installed without their recommendations.
MAILSIFT_TEST_PACKAGES=(libgtest-dev libgmock-dev python3 pff-tools pst-utils undbx
                        libemail-outlook-message-perl libemail-address-perl python3-olefile)
MAILSIFT_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# The export benchmark counts system calls per message with strace.
MAILSIFT_BENCH_PACKAGES=(strace)

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

# The outside programs the tests read our output back with: the program, the packages that fix
# it, and a check that only passes when the program really runs (inside a scratch folder). An
# installed package can still leave its program broken, by a dependency that is only
# recommended, and then every test that leans on it fails with the same message.
MAILSIFT_TEST_TOOLS=(
    "msgconvert|libemail-outlook-message-perl libemail-address-perl|mailsift_msgconvert_runs"
    "readpst|pst-utils|readpst -V"
    "pffexport|pff-tools|pffexport -V"
    "undbx|undbx|undbx -V"
    "python3 with olefile|python3 python3-olefile|/usr/bin/python3 -c 'import email, olefile'"
)

# Converts a .msg file of one subject, written with the compound-file module msgconvert itself
# reads with.
mailsift_msgconvert_runs() {
    perl -MOLE::Storage_Lite -e '
        my $subject = join "", map { "$_\0" } split //, "check";
        my @streams = map { OLE::Storage_Lite::PPS::File->new(OLE::Storage_Lite::Asc2Ucs($_->[0]), $_->[1]) }
            (["__substg1.0_0037001F", $subject], ["__properties_version1.0", "\0" x 32]);
        OLE::Storage_Lite::PPS::Root->new(undef, undef, \@streams)->save("t.msg") or exit 1;
    ' && msgconvert --outfile t.eml t.msg && grep -q '^Subject: check' t.eml
}

# Runs each tool of MAILSIFT_TEST_TOOLS once and stops with one line naming the first that
# cannot run and its package. A pass is remembered until the installed packages change.
mailsift_check_test_tools() {
    local stamp="$MAILSIFT_ROOT/build/.test-tools-checked"
    local installed
    installed=$(stat -c %Y /var/lib/dpkg/status 2>/dev/null || echo none)
    [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$installed" ] && return 0

    local work entry name package check said
    work=$(mktemp -d)
    for entry in "${MAILSIFT_TEST_TOOLS[@]}"; do
        IFS='|' read -r name package check <<<"$entry"
        if ! said=$(cd "$work" && eval "$check" 2>&1 </dev/null); then
            rm -rf "$work"
            said=$(printf '%s' "$said" | grep -v '^\s*$' | head -n 1 | sed 's/ (@INC contains.*//' | cut -c 1-160)
            mailsift_say "The tests need $name, which cannot run here${said:+ ($said)}: apt-get install $package"
            return 1
        fi
    done
    rm -rf "$work"
    mkdir -p "$(dirname "$stamp")" && printf '%s\n' "$installed" >"$stamp"
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
