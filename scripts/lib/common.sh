# Shared by the scripts in scripts/: package installation and small helpers.
# Source it; it defines functions only.

QUORVEX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Debian packages that building and testing Quorvex needs.
QUORVEX_BUILD_PACKAGES=(
    g++ cmake ninja-build pkg-config dpkg-dev lintian appstream desktop-file-utils
    libgtest-dev libgmock-dev libbenchmark-dev
    libboost-dev libexpat1-dev nlohmann-json3-dev libutfcpp-dev libcli11-dev
    libcurl4-openssl-dev libssl-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev librsvg2-bin
    iproute2 procps
    xvfb xauth x11-apps fonts-wqy-microhei
    clang libclang-rt-14-dev
)

# Installs the packages that are missing. As root it runs apt-get; otherwise it
# prints the exact command and fails.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing Debian packages; install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "installing: ${missing[*]}" >&2
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The compile and link flags a Debian packager builds with (dpkg-buildflags,
# all hardening on: fortify, stack protector, relro, bindnow, PIE), as cmake
# arguments. The default build takes them too, so the packages scripts/test
# checks hold the very binaries its tests ran.
packager_cmake_flags() {
    local cxxflags ldflags
    cxxflags="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS)"
    cxxflags+=" $(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS)"
    ldflags="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)"
    printf '%s\n' "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" \
        "-DCMAKE_SHARED_LINKER_FLAGS=$ldflags"
}
