#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need.
# Runs as root, or through sudo otherwise; does nothing when all are present.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  qtbase5-dev libqt5svg5-dev
  libboost-dev libgtest-dev libgmock-dev libbenchmark-dev
  libxxhash-dev zlib1g-dev libzstd-dev
  libassimp-dev assimp-testmodels libmeshoptimizer-dev
  xvfb xauth
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
