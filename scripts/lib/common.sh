# Shared by the scripts in scripts/: package installation and small helpers.
# Source it; it defines functions only.

QUORVEX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Debian packages that building and testing Quorvex needs.
QUORVEX_BUILD_PACKAGES=(
    g++ cmake ninja-build pkg-config dpkg-dev lintian appstream desktop-file-utils
    libgtest-dev libgmock-dev libbenchmark-dev
    libboost-dev libexpat1-dev libssl-dev nlohmann-json3-dev libutfcpp-dev libcli11-dev
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
