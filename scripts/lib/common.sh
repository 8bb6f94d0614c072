# Shared by the scripts in scripts/: find the repository, install what is
# missing, configure and build a preset.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

build_packages=(cmake g++ make pkg-config libglfw3-dev libglu1-mesa-dev libstb-dev
    libx11-dev libgl1-mesa-dri)
test_packages=(libgtest-dev libbenchmark-dev xvfb xdotool desktop-file-utils man-db
    libxrandr-dev xserver-xorg-core xserver-xorg-video-dummy openbox wmctrl)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# Installs the given Debian packages that are not yet installed. A fresh
# machine has no package lists, so they are fetched first, once.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# configure_and_build PRESET: configures and builds one of the configurations
# in CMakePresets.json; each has a build folder of its own.
configure_and_build() {
    (cd "$repo_root" && cmake --preset "$1" && cmake --build --preset "$1" -j "$(nproc)")
}
