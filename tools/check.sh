#!/usr/bin/env bash
# Configures, builds and runs the test suite of one CMake preset:
#   tools/check.sh         the dev preset (build/): the README's test command
#   tools/check.sh asan    AddressSanitizer and UBSan (build-asan/), run by CI
# .ci/run calls this script for both, so the README and CI run the same.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-dev}
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
