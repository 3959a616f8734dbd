#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when some are missing.
# Sourced by tools/run and tools/test; safe to run on its own.
set -euo pipefail

LUNORVALE_PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config clang-format
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev
  libsecret-1-dev libplist-dev libssl-dev libxcb1-dev libxcb-xinput-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  locales procps strace stress-ng trash-cli
  dbus gnome-keyring libsecret-tools libglib2.0-bin
  xvfb xauth x11-utils xdotool fonts-noto-cjk libfreetype-dev qt6-translations-l10n
  openbox xfwm4
)

# One query answers for every package (a query per package cost tools/run half a second at each start).
# A package dpkg has never heard of is missing too: the query names it on standard error only.
lunorvale_missing_packages() {
  local -A installed=()
  local name status p missing=()
  while read -r name status; do
    if [ "$status" = installed ]; then installed[$name]=1; fi
  done < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${LUNORVALE_PACKAGES[@]}" 2>/dev/null)
  for p in "${LUNORVALE_PACKAGES[@]}"; do
    [ -n "${installed[$p]:-}" ] || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

lunorvale_install_deps() {
  local missing
  missing=$(lunorvale_missing_packages)
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "sudo apt-get install --no-install-recommends $missing" >&2
    exit 1
  fi
  echo "Installing: $missing" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >&2
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing >&2
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  lunorvale_install_deps
fi
