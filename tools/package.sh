#!/usr/bin/env bash
# Builds the Debian package of the program, build/package/kelvora_<version>_<arch>.deb, from
# build/ (configured when missing). The build's install prefix becomes /usr, where the package
# puts the program, and only the program itself is built for it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build build -j2 --target kelvora
rm -rf build/package
cpack --config build/CPackConfig.cmake -G DEB -B build/package
ls build/package/kelvora_*.deb
