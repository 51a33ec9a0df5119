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
  # Allocation stacks unwound in full: Qt's libraries have no frame pointers, and a stack
  # cut short at Qt Core hides the library that made the allocation from tools/lsan.supp.
  # The leak check at exit can race Qt's own threads (QtTest's watchdog, the thread pool)
  # freeing their thread data as they end, so a test that fails here runs once more, and
  # the run fails if it fails again; both reports stay in the log.
  ASAN_OPTIONS=$ASAN_OPTIONS:fast_unwind_on_malloc=0 \
    ctest --test-dir build-asan --output-on-failure -j2 --timeout 900 --repeat until-pass:2
  tools/fuzz.sh 30
fi
