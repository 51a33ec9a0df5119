# Shared by run.sh, test.sh, tools/fuzz.sh and the benchmarks: the packages Brisquel needs,
# and how a build folder is configured and built.

BRISQUEL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev qt6-declarative-dev qt6-webengine-dev libgl-dev libxkbcommon-dev
  g++-mingw-w64-x86-64 wine wine64
  fonts-arphic-uming xdg-utils qt6-translations-l10n
  desktop-file-utils appstream dpkg-dev file lintian man-db systemd bash-completion e2fsprogs exfat-fuse exfatprogs btrfs-progs python3-pil
  weston qt6-wayland
  xvfb xauth openbox x11-utils xdotool imagemagick time
  clang libfuzzer-14-dev libclang-rt-14-dev llvm-14
)

install_packages() {
  local missing=() p
  for p in "${BRISQUEL_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

brisquel_source=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# configure_build FOLDER [CMAKE ARGUMENTS...]: the one way a build folder of this repository
# is configured: Ninja, RelWithDebInfo, then the given arguments (a later -D wins).
configure_build() {
  local folder=$1
  shift
  cmake -S "$brisquel_source" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
}

# configure_build_once FOLDER: configures FOLDER unless it already is, and keeps what it was
# configured with; quiet.
configure_build_once() {
  [[ -f $1/CMakeCache.txt ]] || configure_build "$1" >/dev/null
}

build_brisquel() {
  configure_build build
  cmake --build build -j"$(nproc)"
}

# The libFuzzer targets only, built with clang in build-fuzz/ (run by tools/fuzz.sh).
build_brisquel_fuzz() {
  configure_build build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DBRISQUEL_FUZZ=ON
  cmake --build build-fuzz -j"$(nproc)"
}

# Everything, tests included, with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/. The Win32 registry helper is cross-compiled as always, without them.
build_brisquel_asan() {
  configure_build build-asan -DBRISQUEL_SANITIZE=ON
  cmake --build build-asan -j"$(nproc)"
}

# How the sanitized programs report: any error, leak or undefined behaviour ends the program
# with a failure and a stack; only third-party leaks in tools/lsan.supp are let through.
# Chromium inside Qt WebEngine deletes some objects with the wrong size now and then, and
# ASan can't suppress that check by library; our own code has GCC's
# -Wdelete-non-virtual-dtor (in -Wall) for the same fault.
export_sanitizer_options() {
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:new_delete_type_mismatch=0}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/lsan.supp:print_suppressions=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
}
