#!/usr/bin/env bash
# Installs the build and test dependencies that are missing (Debian, as root).
set -euo pipefail
need=()
for p in g++ cmake make libgtest-dev qt6-base-dev qt6-charts-dev libgdal-dev gdal-bin \
         libcli11-dev libboost-math-dev locales xvfb xauth; do
  dpkg -s "$p" >/dev/null 2>&1 || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}"
fi
# The front end's tests read control files under a German locale, where the
# decimal separator is a comma.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
