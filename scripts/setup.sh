#!/usr/bin/env bash
# Installs the build and test dependencies that are missing (Debian, as root).
set -euo pipefail
need=()
for p in g++ cmake make libgtest-dev qt6-base-dev xvfb xauth; do
  dpkg -s "$p" >/dev/null 2>&1 || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}"
fi
