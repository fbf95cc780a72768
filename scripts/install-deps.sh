#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the application need, and only those that
# are missing, so that running it again does nothing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config git
    clang libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libexpat1-dev libxml2-dev zlib1g-dev libicu-dev libasio-dev libavutil-dev
    qt6-base-dev libgl-dev xvfb xauth
    zip unzip libzip-dev python3 python3-mido libxml2-utils locales ffmpeg
    mma pianobooster
    jackd2 libjack-jackd2-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

# A comma-decimal locale, so tests can check that number parsing ignores the process locale.
need_locale=0
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
    need_locale=1
fi

if [ ${#missing[@]} -eq 0 ] && [ $need_locale -eq 0 ]; then
    echo "==> All required packages are installed"
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "==> Installing ${#missing[@]} missing packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    log=$(mktemp)
    if ! { "${sudo_cmd[@]}" apt-get update -q && "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
        tail -n 30 "$log"
        echo "error: package installation failed (full log: $log)" >&2
        exit 1
    fi
    rm -f "$log"
fi

if [ $need_locale -eq 1 ]; then
    echo "==> Generating the de_DE.UTF-8 locale"
    if [ -f /etc/locale.gen ]; then
        "${sudo_cmd[@]}" sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    fi
    "${sudo_cmd[@]}" locale-gen >/dev/null 2>&1 || echo "warning: could not generate de_DE.UTF-8"
fi
echo "==> Packages ready"
