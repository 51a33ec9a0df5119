#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   ./test.sh --sanitize   then also the whole suite under AddressSanitizer and
#                          UndefinedBehaviorSanitizer (build-asan/) and every fuzz target
#                          for 30 s (tools/fuzz.sh); CI runs this.
set -euo pipefail
cd "$(dirname "$0")"
source tools/common.sh
install_packages
build_brisquel
ctest --test-dir build --output-on-failure -j2 --timeout 900
if [ "${1:-}" = --sanitize ]; then
  build_brisquel_asan
  export_sanitizer_options
  ctest --test-dir build-asan --output-on-failure -j2 --timeout 900
  tools/fuzz.sh 30
fi
