#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need. Quick when all is there.
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev
      g++-multilib qemu-user g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
      binutils-mingw-w64-i686 ffmpeg libstb-dev valgrind
      frei0r-plugins-dev frei0r-plugins melt gstreamer1.0-tools gstreamer1.0-plugins-bad bc
      libopencv-imgproc-dev)  # the last: the benchmarks' comparison only, never the product
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
