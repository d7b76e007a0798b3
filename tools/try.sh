#!/usr/bin/env bash
# Builds tovlak (without its tests), splits the sample log examples/run.log
# into three files and shows them. Installs a compiler, CMake and make first
# where they are missing (as root, with apt-get); can be run again and again.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_packages.sh build
cmake -S . -B build-try -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
cmake --build build-try -j2 --target tovlak > /dev/null
mkdir -p build-try/sample
cp examples/run.log build-try/sample/run.log
build-try/tovlak -d3 -lbuild-try/sample/run.log
head build-try/sample/run?.log
