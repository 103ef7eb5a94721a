#!/usr/bin/env bash
# Builds the packages into out/packages/:
#   orvessa_<version>_<arch>.deb         the tool and its manual page
#   liborvessa-dev_<version>_<arch>.deb  static libraries, headers, CMake and pkg-config files
#   python3-orvessa_<version>_<arch>.deb the Python package, for Debian's python3
#   Orvessa-<text version>-windows.zip   x86/Orvessa.dll, x64/Orvessa.dll, their manifests,
#                                        README.txt for Windows users, script examples
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/windows-common.sh"
out="$root/out/packages"

"$root/scripts/setup.sh"
rm -rf "$out"
mkdir -p "$out"

echo "-- Debian packages"
native="$root/build/native"
cmake -S "$root" -B "$native" >/dev/null
cmake --build "$native" -j 2 --target orvessa orvessa_man orvessa_core orvessa_platform orvessa_python
(cd "$out" && cpack -G DEB --config "$native/CPackConfig.cmake" -B "$out/deb-work" >/dev/null)
mv "$out"/deb-work/*.deb "$out/"

echo "-- Windows zip"
# Whole trees: whatever the build makes beside the DLL (its manifest) goes in.
projects=()
for bits in 32 64; do
  use_windows_tree "$bits"
  build_windows_tree
  projects+=("$windows_build" Orvessa windows /)
done
list=$(IFS=';'; echo "${projects[*]}")
(cd "$out" && cpack -G ZIP --config "$root/build/windows/CPackConfig.cmake" -B "$out/zip-work" \
  -D "CPACK_INSTALL_CMAKE_PROJECTS=$list" >/dev/null)
mv "$out"/zip-work/*.zip "$out/"
rm -rf "$out/deb-work" "$out/zip-work"
ls -l "$out"
