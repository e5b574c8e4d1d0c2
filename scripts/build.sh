#!/usr/bin/env bash
# Configures and builds one configuration: release (default), debug, asan, tsan or fuzz.
# Usage: scripts/build.sh [config] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
config=${1:-release}; shift || true
case "$config" in
  release) args=(-DCMAKE_BUILD_TYPE=Release) ;;
  debug)   args=(-DCMAKE_BUILD_TYPE=Debug) ;;
  asan)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVIK_SANITIZE=address -DTALVIK_BENCH=OFF) ;;
  tsan)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVIK_SANITIZE=thread -DTALVIK_BENCH=OFF) ;;
  fuzz)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVIK_FUZZ=ON -DTALVIK_BENCH=OFF
                 -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown configuration: $config" >&2; exit 2 ;;
esac
cmake -S . -B "build/$config" -G Ninja "${args[@]}" "$@" >/dev/null
cmake --build "build/$config"
