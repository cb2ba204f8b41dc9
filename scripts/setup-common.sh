# Sourced by the scripts: installs the Debian packages named in the arguments when missing.
# Runs apt only as root; elsewhere it names what is missing and stops.
sm_install_missing() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    ((${#missing[@]} == 0)) && return 0
    if [[ $(id -u) -ne 0 ]]; then
        echo "missing packages: ${missing[*]} (run as root, or install them)" >&2
        return 1
    fi
    echo "installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >&2
    apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
}

SM_NATIVE_PACKAGES=(cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev
    nlohmann-json3-dev libcli11-dev ccache libcpp-httplib-dev pkg-config prometheus python3
    python3-pytest help2man dpkg-dev)
SM_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
SM_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine64 wine)
# The VM tests: an emulator, Debian's kernel (installed with INITRD=No: the tests build their own
# initramfs), and the tools that make the guest's file systems.
SM_VM_PACKAGES=(qemu-system-x86 linux-image-amd64 busybox-static cpio e2fsprogs dosfstools ntfs-3g
    fdisk)

export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
# Paths under the checkout hash alike in every clone, so another folder's build hits the cache.
CCACHE_BASEDIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export CCACHE_BASEDIR
