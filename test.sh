#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source tools/common.sh
install_packages
build_brisquel
ctest --test-dir build --output-on-failure -j2 --timeout 900
