# Shared by the scripts in scripts/: find the repository, install what is
# missing, configure and build a preset.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

build_packages=(cmake g++ make pkg-config libglfw3-dev libglu1-mesa-dev libstb-dev
    libx11-dev libxrandr-dev libgl1-mesa-dri libtinygltf-dev libgif-dev libcgal-dev
    lib3mf-dev libimgui-dev libavcodec-dev libavformat-dev libavutil-dev libswscale-dev)
test_packages=(libgtest-dev libbenchmark-dev xvfb xdotool desktop-file-utils man-db
    xserver-xorg-core xserver-xorg-video-dummy openbox wmctrl admesh strace weston xwayland
    xscreensaver libxml2-dev libtinyobjloader-dev lintian devscripts dpkg-dev file ffmpeg)

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

# The Khronos glTF validator, from npm at the version the lock file pins,
# into tests/gltf/node_modules; the export tests run every .glb through it.
ensure_gltf_validator() {
    local folder="$repo_root/tests/gltf"
    if [ -f "$folder/node_modules/gltf-validator/package.json" ] &&
        cmp -s "$folder/package-lock.json" "$folder/node_modules/.package-lock.json.installed"; then
        return 0
    fi
    # Machines often carry their own Node.js, whose npm Debian's would
    # conflict with; Debian's is only for machines with none.
    if ! command -v npm >/dev/null 2>&1; then
        ensure_packages nodejs npm
    fi
    echo "Installing the glTF validator (npm ci)"
    npm ci --prefix "$folder" --no-audit --no-fund --loglevel=error
    cp "$folder/package-lock.json" "$folder/node_modules/.package-lock.json.installed"
}

# configure_and_build PRESET: configures and builds one of the configurations
# in CMakePresets.json; each has a build folder of its own.
configure_and_build() {
    (cd "$repo_root" && cmake --preset "$1" && cmake --build --preset "$1" -j "$(nproc)")
}
