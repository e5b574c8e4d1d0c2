#!/usr/bin/env bash
# Installs what is missing, builds the host program and runs its demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
scripts/build.sh release
exec build/release/bin/talvik demo "$@"
