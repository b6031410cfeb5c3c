#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Vantorel.
# Extra package names may be passed as arguments (for example clang for the sanitizer build).
set -euo pipefail
packages=(cmake g++ make libgtest-dev libfathom-dev zlib1g-dev python3 python3-numpy "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
