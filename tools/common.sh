# Shared by run.sh and test.sh: the packages Brisquel needs, and the build.

BRISQUEL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libgl-dev libxkbcommon-dev
  g++-mingw-w64-x86-64 wine wine64
  fonts-arphic-uming xdg-utils
  xvfb xauth openbox x11-utils xdotool imagemagick
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

build_brisquel() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build -j"$(nproc)"
}

# The libFuzzer targets only, built with clang in build-fuzz/ (run by tools/fuzz.sh).
build_brisquel_fuzz() {
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DBRISQUEL_FUZZ=ON
  cmake --build build-fuzz -j"$(nproc)"
}
