#!/usr/bin/env bash
# The Windows server under Wine, for both bitnesses: builds the 32-bit and
# the 64-bit Windows trees, checks each DLL's exports and imports, and in each
# tree's own Wine prefix registers the DLL with regsvr32, runs the test program
# (which also uses the DLL registration-free), the script client with the
# script host of the same bitness, the guide's examples and its round trips
# (pixels compared with the Linux tool's), unregisters it, and runs the object tests
# again under an application manifest. Then, in the 64-bit prefix, both DLLs
# side by side: each works from its own script host, unregistering either
# leaves the other working, and unregistering both leaves no key of the
# server behind. Exits non-zero on any failure.
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

# The examples of docs/com-guide.md that have an .out file, with the DLL
# registered: each, given a sample picture, prints what its .out file holds.
run_examples() {
  local picture expected name output
  echo "-- the examples of docs/com-guide.md ($windows_bits-bit)"
  picture=$(winepath -w "$root/sample-pictures/chelsea-small.bmp")
  for expected in "$root"/docs/examples/*.out; do
    name=$(basename "$expected" .out)
    if [[ -f "$root/docs/examples/$name.vbs" ]]; then
      output=$(wine_run cscript //nologo "$(winepath -w "$root/docs/examples/$name.vbs")" "$picture" 2>&1)
    else
      output=$(wine_run "$windows_build/$name.exe" "$picture" 2>&1)
    fi
    diff <(tr -d '\r' <<<"$output") "$expected" || fail "the example $name printed otherwise than $name.out"
  done
}

# The round trips of docs/com-guide.md: the script and the C++ example (early
# and late bound) filter a BMP file, the C++ one shows it, and save the result;
# its pixels must be those the Linux tool writes for the same file. The
# pictures: a sample and a crop of it of odd width, whose rows end in pad bytes.
run_round_trips() {
  local dir="$windows_build/round-trips" linux="$root/build/native/orvessa" picture filter name status
  local script round_trip="$windows_build/round_trip.exe" in out
  echo "-- the round trips of docs/com-guide.md ($windows_bits-bit)"
  cmake -S "$root" -B "$root/build/native" >/dev/null
  cmake --build "$root/build/native" -j 2 --target orvessa >/dev/null
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$root/sample-pictures/chelsea-small.bmp" "$dir/"
  convert "$dir/chelsea-small.bmp" -crop 47x31+0+0 +repage -type TrueColor "BMP3:$dir/odd.bmp"
  script=$(winepath -w "$root/docs/examples/filter_bmp.vbs")
  for picture in chelsea-small odd; do
    for filter in blur smooth; do
      "$linux" "$filter" "$dir/$picture.bmp" "$dir/$picture-$filter-linux.bmp"
      for name in vbs cpp cpp-late; do
        in=$(winepath -w "$dir/$picture.bmp")
        out=$(winepath -w "$dir/$picture-$filter-$name.bmp")
        status=0
        case $name in
          vbs) wine_run cscript //nologo "$script" "$in" "$out" "$filter" ;;
          cpp) wine_run "$round_trip" "$in" "$out" "$filter" ;;
          cpp-late) wine_run "$round_trip" "$in" "$out" "$filter" late-bound ;;
        esac >"$dir/$picture-$filter-$name.txt" 2>&1 || status=$?
        [[ $status -eq 0 ]] || fail "the $name round trip ($filter, $picture) failed: $(cat "$dir/$picture-$filter-$name.txt")"
        cmp <(bmp_pixels "$dir/$picture-$filter-linux.bmp") <(bmp_pixels "$dir/$picture-$filter-$name.bmp") ||
          fail "the $name round trip ($filter, $picture) gives other pixels than the Linux tool"
      done
    done
  done
}

# One bitness in its own prefix: the whole test program and the client.
run_suite() {
  use_windows_tree "$1"
  echo "-- the $windows_bits-bit Windows tree"
  build_windows_tree
  check_dll
  ensure_wine_prefix
  cd "$windows_build"
  echo "-- regsvr32 Orvessa.dll ($windows_bits-bit)"
  wine_run regsvr32 /s Orvessa.dll
  echo "-- the $windows_bits-bit test program"
  wine_run orvessa_windows_tests.exe
  echo "-- the script client ($windows_bits-bit)"
  run_client "$wine_loader" "$2"
  run_examples
  run_round_trips
  echo "-- regsvr32 /u Orvessa.dll ($windows_bits-bit)"
  wine_run regsvr32 /u /s Orvessa.dll
  cd "$root"
  run_with_application_manifest
}

# The test program's object tests again with nothing registered: a copy of
# the program beside a copy of the DLL, its application manifest naming
# assembly Orvessa as a dependency. (The registration-free tests inside the
# program make activation contexts of their own; this is the process's.)
run_with_application_manifest() {
  local app="$windows_build/app-manifest" architecture=x86 clsid
  [[ $windows_bits == 64 ]] && architecture=amd64
  echo "-- the $windows_bits-bit test program under an application manifest, nothing registered"
  [[ -z "$(classes_snapshot)" ]] || fail "keys of the server are still registered"
  rm -rf "$app"
  mkdir -p "$app"
  cp "$windows_build/orvessa_windows_tests.exe" "$windows_build/Orvessa.dll" "$app/"
  cat >"$app/orvessa_windows_tests.exe.manifest" <<MANIFEST
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="OrvessaTests" version="1.0.0.0" processorArchitecture="$architecture"/>
  <dependency><dependentAssembly>
    <assemblyIdentity type="win32" name="Orvessa" version="1.0.0.9" processorArchitecture="$architecture"/>
  </dependentAssembly></dependency>
</assembly>
MANIFEST
  wine_run "$app/orvessa_windows_tests.exe" --gtest_brief=1 \
    --gtest_filter='ObjectTest.*:DispatchTest.*:ColorToBNTest.*:-ColorToBNTest.ManyCalls*'
  # The class stays unregistered. Wine's automation marshaller registers the
  # type library it loads for the cross-apartment call; that goes again.
  clsid=$(grep -o 'clsid="{[^}]*}"' "$windows_build/Orvessa.manifest" | cut -c8-45)
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
  ids=$(grep -o 'uuid([0-9a-fA-F-]*)' "$root/src/object/orvessa.idl" | cut -c6-41 | tr 'a-f' 'A-F' | paste -sd'|')
  timeout 60 wineserver -w || true
  awk -v ids="$ids|ORVESSA" '
    /^\[/ { keep = (toupper($0) ~ ids); if (keep) { sub(/\] [0-9]+$/, "]"); print } next }
    /^#time=/ { next }
    keep { print }' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg"
}

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
(cd "$root/build/windows64" && wine_run orvessa_windows_tests.exe --gtest_brief=1 --gtest_filter='ObjectTest.*')

echo "-- the 64-bit DLL unregistered: the 32-bit one still works, across apartments too"
wine_run_with "$wine32" regsvr32 /s "$dll32"
wine_run regsvr32 /u /s "$dll64"
run_client "$wine32" x86
(cd "$root/build/windows" && wine_run_with "$wine32" orvessa_windows_tests.exe --gtest_brief=1 --gtest_filter='ObjectTest.*')

echo "-- both unregistered: no key of the server is left"
wine_run_with "$wine32" regsvr32 /u /s "$dll32"
after=$(classes_snapshot)
[[ -z "$after" ]] || fail "keys of the server left after unregistering both DLLs: $after"
echo "-- Windows tests passed"
