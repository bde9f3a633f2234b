#!/bin/sh
# Installs the Debian packages that building and testing Twinly 2 needs, when any is missing.
# Idempotent, and silent when everything is there. Needs root (or sudo) only when it installs.
set -eu

packages="clang lld llvm cmake make git dpkg-dev apt-utils libgtest-dev libbenchmark-dev
libgnustep-base-dev libblocksruntime-dev libclang-rt-14-dev libunicorn-dev libffi-dev libssl-dev zlib1g-dev python3
openssh-client pkgconf libcairo2-dev libpango1.0-dev fonts-inter fonts-dejavu-core"

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
as_root=""
[ "$(id -u)" -eq 0 ] || as_root="sudo"
export DEBIAN_FRONTEND=noninteractive
$as_root apt-get update -qq
# shellcheck disable=SC2086
$as_root apt-get install -y -qq --no-install-recommends $missing >/dev/null
