#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config clang libclang-rt-14-dev
  libsqlite3-dev sqlite3
  libpq-dev postgresql postgresql-contrib libssl-dev openssl
  googletest libgtest-dev libgmock-dev
  libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libtomlplusplus-dev
  libboost-dev wrk curl
  chromium fonts-wqy-microhei
)

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

# The web page's build and browser tests need Node.js and npm: Debian's,
# unless some other install already provides the commands.
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
