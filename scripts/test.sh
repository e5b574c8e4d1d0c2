#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
scripts/build.sh release
cd build/release
QT_QPA_PLATFORM=offscreen ctest --output-on-failure
