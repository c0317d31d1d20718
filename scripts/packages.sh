# Sourced by the scripts: installs the Debian packages that are missing.
# The project needs nothing that Debian 12 does not package.

TARVO_PACKAGES=(
    cmake g++ ninja-build pkg-config
    libcurl4-openssl-dev libssl-dev openssl
    duktape-dev libjs-json
    qt6-base-dev libgl-dev fonts-wqy-microhei python3-pil
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
)

tarvo_install_packages() {
    local missing=()
    local package
    for package in "${TARVO_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures and builds into the given folder: tarvo_build DIR [cmake options...]
tarvo_build() {
    local dir="$1"
    shift
    cmake -S "$TARVO_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}
