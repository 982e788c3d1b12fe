# Shared by scripts/run, scripts/test and bench/run: installs the Debian
# packages that are missing, through sudo when not root.
# Usage: . scripts/packages.sh; ensure_packages pkg...

ensure_packages() {
    missing=""
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $package"
        fi
    done
    [ -z "$missing" ] && return 0

    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Missing packages:$missing; install them as root (sudo is not available)." >&2
            return 1
        fi
        sudo="sudo"
    fi
    echo "Installing:$missing"
    # shellcheck disable=SC2086
    if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing; then
        DEBIAN_FRONTEND=noninteractive $sudo apt-get update -q &&
            DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
    fi
}

# What building and testing the program needs.
BUILD_PACKAGES="cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite libqt6sql6-psql libsqlite3-dev sqlite3 libphonenumber-dev postgresql fonts-dejavu-core qtkeychain-qt6-dev"

# What the benchmarks need beyond the build: wrk, the gateway's wire limit;
# python3, which keeps and compares the figures (and whose check is a test).
BENCH_PACKAGES="wrk python3"
# What the tests need beyond the build: the checks of the launcher and
# metainfo files, a private D-Bus session (dbus-run-session) with a keyring
# daemon of its own for the password tests (secret-tool to look into it by
# hand), and what the benchmarks need, for their smoke run (bench/run --tiny).
TEST_PACKAGES="desktop-file-utils appstream openssl clang-format dbus-daemon gnome-keyring libsecret-tools $BENCH_PACKAGES"
# What building the Debian package needs: dpkg-shlibdeps finds the libraries
# the programs link.
PACKAGE_PACKAGES="dpkg-dev file"

# Configures and builds everything in the given build folder; further
# arguments are cache settings for cmake. A compiler cache is used when the
# machine has one.
build_all() {
    build_dir="$1"
    shift
    launcher=""
    command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
    if [ ! -f "$build_dir/build.ninja" ] || [ "$#" -gt 0 ]; then
        # shellcheck disable=SC2086
        cmake -S "$TELLWAVE_ROOT" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $launcher "$@" || return 1
    fi
    cmake --build "$build_dir"
}
