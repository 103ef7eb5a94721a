# Shared by scripts/test-windows.sh, scripts/demo-windows.sh and
# tests/install/check.sh (sourced):
# the Windows build trees, 32-bit in build/windows and 64-bit in
# build/windows64, each with a project-local Wine prefix inside it.
# No Mono or Gecko: nothing here needs them, and their install prompts would wait.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The 64-bit Wine loader: on PATH on some systems, beside the 32-bit one on
# Debian (where /usr/bin/wine starts 32-bit programs only).
find_wine64() {
  local loader
  for loader in "$(command -v wine64 || true)" /usr/lib/wine/wine64 /usr/lib64/wine/wine64 \
    /opt/wine-stable/bin/wine64; do
    if [[ -n "$loader" && -x "$loader" ]]; then
      echo "$loader"
      return 0
    fi
  done
  echo "no 64-bit Wine loader (wine64) found" >&2
  return 1
}

# Selects the tree of one bitness, 32 or 64: windows_build, its toolchain,
# its objdump, its Wine prefix and the loader of its programs (wine_loader).
# A second argument names another folder for the tree (scripts/package.sh
# builds its own).
use_windows_tree() {
  windows_bits=$1
  if [[ $windows_bits == 64 ]]; then
    windows_build="${2:-$root/build/windows64}"
    windows_toolchain="$root/cmake/mingw-x86_64.cmake"
    windows_objdump=x86_64-w64-mingw32-objdump
    wine_loader=$(find_wine64)
    export WINEARCH=win64
  else
    windows_build="${2:-$root/build/windows}"
    windows_toolchain="$root/cmake/mingw-i686.cmake"
    windows_objdump=i686-w64-mingw32-objdump
    wine_loader=wine
    export WINEARCH=win32
  fi
  export WINEPREFIX="$windows_build/wineprefix"
}
use_windows_tree 32

# Configures and builds the selected tree; arguments name targets (default:
# all); windows_options, when set, adds configure options.
build_windows_tree() {
  cmake -S "$root" -B "$windows_build" -DCMAKE_TOOLCHAIN_FILE="$windows_toolchain" \
    -DORVESSA_WERROR=ON -DORVESSA_BUILD_BENCH=OFF "${windows_options[@]}" >/dev/null
  local targets=()
  for t in "$@"; do targets+=(--target "$t"); done
  cmake --build "$windows_build" -j 2 "${targets[@]}"
}

# Runs a Windows program of the selected bitness under Wine with a time
# limit, then waits for the Wine server to finish, keeping the program's
# exit status.
wine_run() {
  wine_run_with "$wine_loader" "$@"
}

# The same with a given loader: `wine` starts 32-bit programs, also in a
# 64-bit prefix, where system32 then means the 32-bit system folder.
wine_run_with() {
  local loader=$1 status=0
  shift
  timeout 600 "$loader" "$@" || status=$?
  timeout 60 wineserver -w || true
  return "$status"
}

# Creates the selected prefix once (about 15 s); no display and no network
# are needed.
ensure_wine_prefix() {
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "-- creating the Wine prefix $WINEPREFIX ($WINEARCH)"
    timeout 600 "$wine_loader" wineboot -i
    timeout 60 wineserver -w
  fi
}

# The pixel bytes of a BMP file: from the offset its header names to the end
# (headers of equal pictures differ in fields such as the resolution).
bmp_pixels() {
  tail -c +$(($(od -An -tu4 -j10 -N4 "$1") + 1)) "$1"
}
