#!/usr/bin/env bash
# The Windows server under Wine: builds the 32-bit Windows tree, checks the
# DLL's exports and imports, registers it with regsvr32 in a project-local
# Wine prefix, runs the test program and the script client, and unregisters
# it. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/windows-common.sh"

"$root/scripts/setup.sh"
build_windows_tree

dll="$windows_build/Orvessa.dll"
echo "-- exports and imports of Orvessa.dll"
exports=$(i686-w64-mingw32-objdump -p "$dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk 'NR > 1 && NF { print $NF }' | sort | tr '\n' ' ')
if [[ "$exports" != "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]]; then
  echo "unexpected exports: $exports" >&2
  exit 1
fi
system_dlls='^(KERNEL32|USER32|GDI32|ADVAPI32|ole32|OLEAUT32|SHLWAPI|msvcrt)\.dll$'
i686-w64-mingw32-objdump -p "$dll" | awk '/DLL Name:/ { print $3 }' | while read -r name; do
  if ! [[ "$name" =~ $system_dlls ]]; then
    echo "Orvessa.dll imports a non-system DLL: $name" >&2
    exit 1
  fi
done

ensure_wine_prefix
cd "$windows_build"
echo "-- regsvr32 Orvessa.dll"
wine_run regsvr32 /s Orvessa.dll

echo "-- the test program"
wine_run orvessa_windows_tests.exe

echo "-- the script client"
client=$(winepath -w "$root/tests/windows/client.vbs")
pictures=$(winepath -w "$(cd "$root/sample-pictures" && pwd)")
status=0
output=$(wine_run cscript //nologo "$client" "$pictures" 2>&1) || status=$?
echo "$output"
if [[ $status -ne 0 ]] || ! grep -q '^client: [0-9]* checks, 0 failed' <<<"$output"; then
  echo "the script client failed (status $status)" >&2
  exit 1
fi

echo "-- the examples of docs/com-guide.md"
picture=$(winepath -w "$root/sample-pictures/chelsea-small.bmp")
for example in "$root"/docs/examples/*.vbs "$windows_build/com_client.exe"; do
  name=$(basename "${example%.*}")
  case "$example" in
    *.vbs) output=$(wine_run cscript //nologo "$(winepath -w "$example")" "$picture" 2>&1) ;;
    *) output=$(wine_run "$example" "$picture" 2>&1) ;;
  esac
  if ! diff <(tr -d '\r' <<<"$output") "$root/docs/examples/$name.out"; then
    echo "the example $name printed otherwise than $name.out" >&2
    exit 1
  fi
done

echo "-- regsvr32 /u Orvessa.dll"
wine_run regsvr32 /u /s Orvessa.dll
echo "-- Windows tests passed"
