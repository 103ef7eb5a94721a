# Shared by scripts/test-windows.sh and scripts/demo-windows.sh (sourced):
# the 32-bit Windows tree and the project-local Wine prefix inside it.
windows_build="$root/build/windows"
# No Mono or Gecko: nothing here needs them, and their install prompts would wait.
export WINEPREFIX="$windows_build/wineprefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Configures and builds the Windows tree; arguments name targets (default: all).
build_windows_tree() {
  cmake -S "$root" -B "$windows_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DORVESSA_WERROR=ON -DORVESSA_BUILD_BENCH=OFF >/dev/null
  local targets=()
  for t in "$@"; do targets+=(--target "$t"); done
  cmake --build "$windows_build" -j 2 "${targets[@]}"
}

# Runs a Windows program under Wine with a time limit, then waits for the
# Wine server to finish, keeping the program's exit status.
wine_run() {
  local status=0
  timeout 600 wine "$@" || status=$?
  timeout 60 wineserver -w || true
  return "$status"
}

# Creates the prefix once (about 15 s); no display and no network are needed.
ensure_wine_prefix() {
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "-- creating the Wine prefix $WINEPREFIX"
    timeout 600 wineboot -i
    timeout 60 wineserver -w
  fi
}
