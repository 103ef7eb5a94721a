#!/usr/bin/env bash
# The Windows server under Wine, for both bitnesses: builds the 32-bit and
# the 64-bit Windows trees, checks each DLL's exports and imports, runs each
# tree's tests through CTest in its own Wine prefix (registration, the test
# program's tests one by one, the script client, the examples of
# docs/com-guide.md and its round trips, whose pixels are compared with the
# Linux tool's, unregistration), and the object tests again under an
# application manifest. Then, in the 64-bit prefix, both DLLs side by side:
# each works from its own script host, unregistering either leaves the other
# working, and unregistering both leaves no key of the server behind. Exits
# non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/windows-common.sh"

"$root/scripts/setup.sh"

fail() {
  echo "$*" >&2
  exit 1
}

# The four exports and system imports only, read from the selected tree's DLL.
check_dll() {
  local dll="$windows_build/Orvessa.dll" exports name
  echo "-- exports and imports of the $windows_bits-bit Orvessa.dll"
  exports=$("$windows_objdump" -p "$dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk 'NR > 1 && NF { print $NF }' | sort | tr '\n' ' ')
  [[ "$exports" == "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]] ||
    fail "unexpected exports: $exports"
  local system_dlls='^(KERNEL32|USER32|GDI32|ADVAPI32|ole32|OLEAUT32|SHLWAPI|msvcrt)\.dll$'
  for name in $("$windows_objdump" -p "$dll" | awk '/DLL Name:/ { print $3 }'); do
    [[ "$name" =~ $system_dlls ]] || fail "Orvessa.dll imports a non-system DLL: $name"
  done
}

# The script client under the script host that LOADER starts; HOST is the
# architecture that host must report (x86 or AMD64).
run_client() {
  local loader=$1 host=$2 client pictures output status=0
  client=$(winepath -w "$root/tests/windows/client.vbs")
  pictures=$(winepath -w "$(cd "$root/sample-pictures" && pwd)")
  output=$(wine_run_with "$loader" cscript //nologo "$client" "$pictures" 2>&1) || status=$?
  output=${output//$'\r'/}
  echo "$output"
  if [[ $status -ne 0 ]] || ! grep -q '^client: [0-9]* checks, 0 failed' <<<"$output" ||
    ! grep -qx "client: host $host" <<<"$output"; then
    fail "the script client ($host) failed (status $status)"
  fi
}

# The selected tests of a test program under LOADER; fails when they fail
# and when the filter selects none.
run_selected_tests() {
  local loader=$1 program=$2 filter=$3 output status=0
  output=$(wine_run_with "$loader" "$program" --gtest_brief=1 --gtest_filter="$filter" 2>&1) ||
    status=$?
  output=${output//$'\r'/}
  echo "$output"
  [[ $status -eq 0 ]] || fail "the tests $filter failed (status $status)"
  grep -q '^\[  PASSED  \] [1-9][0-9]* test' <<<"$output" || fail "no test matches $filter"
}

# One bitness in its own prefix: its tests under CTest, then the object
# tests under an application manifest.
run_suite() {
  use_windows_tree "$1"
  echo "-- the $windows_bits-bit Windows tree"
  build_windows_tree
  check_dll
  ensure_wine_prefix
  echo "-- the $windows_bits-bit tests under CTest"
  ctest --test-dir "$windows_build" --no-tests=error --output-on-failure
  timeout 60 wineserver -w || true
  run_with_application_manifest
}

# The test program's object tests again with nothing registered: a copy of
# the program beside a copy of the DLL, its application manifest naming
# assembly Orvessa as a dependency. (The registration-free tests inside the
# program make activation contexts of their own; this is the process's.)
run_with_application_manifest() {
  local app="$windows_build/app-manifest" architecture=x86 clsid version
  [[ $windows_bits == 64 ]] && architecture=amd64
  echo "-- the $windows_bits-bit test program under an application manifest, nothing registered"
  [[ -z "$(classes_snapshot)" ]] || fail "keys of the server are still registered"
  rm -rf "$app"
  mkdir -p "$app"
  cp "$windows_build/orvessa_windows_tests.exe" "$windows_build/Orvessa.dll" "$app/"
  version=$(sed -n 's/.*assemblyIdentity type="win32" name="Orvessa" version="\([0-9.]*\)".*/\1/p' \
    "$windows_build/Orvessa.manifest")
  cat >"$app/orvessa_windows_tests.exe.manifest" <<MANIFEST
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="OrvessaTests" version="1.0.0.0" processorArchitecture="$architecture"/>
  <dependency><dependentAssembly>
    <assemblyIdentity type="win32" name="Orvessa" version="$version" processorArchitecture="$architecture"/>
  </dependentAssembly></dependency>
</assembly>
MANIFEST
  run_selected_tests "$wine_loader" "$app/orvessa_windows_tests.exe" \
    'ObjectTest.*:DispatchTest.*:ColorToBNTest.*:-ColorToBNTest.ManyCalls*'
  # The class stays unregistered. Wine's automation marshaller registers the
  # type library it loads for the cross-apartment call; that goes again.
  clsid=$(sed -n 's/.*clsid="\({[^}]*}\)".*/\1/p' "$windows_build/Orvessa.manifest")
  if classes_snapshot | grep -qiF -e "CLSID\\\\$clsid" -e 'Orvessa.Pictava'; then
    fail "running under the application manifest registered the class"
  fi
  (cd "$windows_build" && wine_run regsvr32 /u /s Orvessa.dll)
}

# Every registry key (machine and user, both views) that names the server:
# its ProgID or one of the identifiers in the IDL, as Wine keeps them on
# disk, without the times of last change. (Other keys change as programs
# run: a script host registers its own type library on first use.) That
# each DLL alone leaves every other key as it was, the test program checks.
classes_snapshot() {
  local ids
  ids=$(sed -n 's/.*uuid(\([0-9a-fA-F-]*\)).*/\1/p' "$root/src/server/orvessa.idl" | tr 'a-f' 'A-F' | paste -sd'|')
  timeout 60 wineserver -w || true
  awk -v ids="$ids|ORVESSA" '
    /^\[/ { keep = (toupper($0) ~ ids); if (keep) { sub(/\] [0-9]+$/, "]"); print } next }
    /^#time=/ { next }
    keep { print }' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg"
}

# The Linux tool whose pictures the round trips of the guide are compared with.
cmake -S "$root" -B "$root/build/native" >/dev/null
cmake --build "$root/build/native" -j "$(nproc)" --target orvessa >/dev/null
run_suite 32 x86
run_suite 64 AMD64

echo "-- both DLLs side by side in the 64-bit prefix"
use_windows_tree 64
wine32=wine
dll32=$(winepath -w "$root/build/windows/Orvessa.dll")
dll64=$(winepath -w "$root/build/windows64/Orvessa.dll")
before=$(classes_snapshot)
[[ -z "$before" ]] || fail "keys of the server found before the side-by-side test: $before"
wine_run_with "$wine32" regsvr32 /s "$dll32"
wine_run regsvr32 /s "$dll64"
run_client "$wine32" x86
run_client "$wine_loader" AMD64

echo "-- the 32-bit DLL unregistered: the 64-bit one still works, across apartments too"
wine_run_with "$wine32" regsvr32 /u /s "$dll32"
run_client "$wine_loader" AMD64
run_selected_tests "$wine_loader" "$root/build/windows64/orvessa_windows_tests.exe" 'ObjectTest.*'

echo "-- the 64-bit DLL unregistered: the 32-bit one still works, across apartments too"
wine_run_with "$wine32" regsvr32 /s "$dll32"
wine_run regsvr32 /u /s "$dll64"
run_client "$wine32" x86
run_selected_tests "$wine32" "$root/build/windows/orvessa_windows_tests.exe" 'ObjectTest.*'

echo "-- both unregistered: no key of the server is left"
wine_run_with "$wine32" regsvr32 /u /s "$dll32"
after=$(classes_snapshot)
[[ -z "$after" ]] || fail "keys of the server left after unregistering both DLLs: $after"
echo "-- Windows tests passed"
