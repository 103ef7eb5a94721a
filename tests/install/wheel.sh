#!/usr/bin/env bash
# Checks the Python wheel that scripts/package.sh made as pip users take it:
# installed into a fresh venv, it passes the Python tests as the installed
# package; with the system's picture libraries out of reach it reads and
# writes every format, loading nothing from the system but glibc, libstdc++
# and libgcc_s; its tag claims no older glibc than it needs. Last, pip
# installs a clean checkout.
#   tests/install/wheel.sh   (after scripts/package.sh; as root, for a mount namespace)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
native="$root/build/package-native"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

unset PYTHONPATH
export PYTHONDONTWRITEBYTECODE=1 PIP_NO_INDEX=1 PIP_NO_CACHE_DIR=1 PIP_DISABLE_PIP_VERSION_CHECK=1
version=$(sed -n 's/^project(Orvessa VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
wheel=$(ls "$root/out/packages/orvessa-$version"-*.whl)
# What may come from the system, by the names ldd and the maps give.
export SYSTEM='^(.*/)?(linux-vdso|ld-linux-x86-64|libc|libm|libmvec|libpthread|libdl|librt|libstdc\+\+|libgcc_s)\.so'

echo "-- the wheel installed into a fresh venv (numpy and pytest from Debian)"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
python="$work/venv/bin/python"
"$python" -m pip install -q --no-deps "$wheel"
site=$("$python" -c 'import sysconfig; print(sysconfig.get_paths()["platlib"])')
extension=$(ls "$site"/orvessa/_orvessa*.so)
[[ "$(cd "$work" && "$python" -c 'import importlib.metadata as m; print(m.version("orvessa"))')" == "$version" ]] ||
  fail "importlib.metadata does not give the version $version"
size=$(stat -c %s "$wheel")
((size <= 5 * 1024 * 1024)) || fail "the wheel has $size bytes, more than 5 MB"
glibc=$(objdump -T "$extension" "$site"/orvessa.libs/* | grep -o 'GLIBC_2\.[0-9]*' | sort -uV | tail -1)
[[ ! "$wheel" =~ -manylinux_2_([0-9]+)_x86_64\.whl$ ]] || ((${glibc#GLIBC_2.} <= BASH_REMATCH[1])) ||
  fail "${wheel##*/} needs $glibc"
echo "${wheel##*/}: $size bytes, $glibc"
while read -r name _ file _; do
  [[ "$name" =~ $SYSTEM || "$file" == "$site/orvessa/../orvessa.libs/"* ]] || fail "it loads $name from $file"
done < <(LD_LIBRARY_PATH='' ldd "$extension")

echo "-- the Python tests against the installed package"
tests=(env ORVESSA_CLI="$native/orvessa" ORVESSA_PICTURES="$root/sample-pictures" ORVESSA_SOURCE="$root"
  ORVESSA_PACKAGE="$site/orvessa" "$python" -m pytest -q -p no:cacheprovider --rootdir="$root")
(cd "$work" && "${tests[@]}" "$root/tests/python") || fail "the Python tests fail against the installed wheel"

# The system's files of the libraries that the Debian build of the extension
# loads, but zlib, which the interpreter loads itself: in a mount namespace
# of its own, each is an empty file.
hidden=()
while read -r name _ file _; do
  [[ "$name" =~ $SYSTEM || "$name" == libz.so.* ]] || hidden+=("$(readlink -f "$file")")
done < <(ldd "$native"/python/orvessa/_orvessa*.so)
export HIDDEN="${hidden[*]}"
out_of_reach() {
  (cd "$work" && unshare --mount --propagation private -- bash -c \
    'for f in $HIDDEN; do mount --bind /dev/null "$f"; done; exec "$@"' _ "$@")
}
echo "-- every format read and written, the system's ${#hidden[@]} picture libraries out of reach"
out_of_reach "${tests[@]}" "$root/tests/python/test_picture_kinds.py" ||
  fail "the wheel reads otherwise without the system's picture libraries"
out_of_reach "$python" - "$root/tests/picture-kinds" <<'EOF' || fail "the wheel needs the system's libraries"
import ctypes, os, pathlib, re, sys
import numpy  # the interpreter's and numpy's libraries come before the snapshot

def mapped():
    fields = (line.split(maxsplit=5) for line in open("/proc/self/maps"))
    return {f[5].strip() for f in fields if len(f) == 6 and f[5].startswith("/")}

before = mapped()
import orvessa
for name in ("jpeg-progressive.jpg", "png-rgba8.png", "tiff-jpeg.tif", "tiff-deflate-bigendian.tif",
             "gif-static.gif", "webp-lossy-alpha.webp"):
    for suffix in ("png", "jpeg", "webp", "tiff", "bmp"):
        orvessa.write_picture(f"{name}.{suffix}", orvessa.read_picture(pathlib.Path(sys.argv[1]) / name))
own = os.path.dirname(os.path.dirname(os.path.realpath(orvessa.__file__)))
strays = [p for p in mapped() - before if not re.match(os.environ["SYSTEM"], p)
          and not p.startswith((f"{own}/orvessa/", f"{own}/orvessa.libs/"))]
assert not strays, f"loaded from the system: {strays}"
for file in os.environ["HIDDEN"].split():
    try:
        ctypes.CDLL(file)
        raise AssertionError(f"{file} is within reach")
    except OSError:
        pass
EOF

echo "-- pip installs a clean checkout: the files git knows, committed or not"
mkdir "$work/checkout"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [[ ! -e "$file" ]] || printf '%s\0' "$file"; done |
  tar --null -T - -cf -) | tar -C "$work/checkout" -xf -
/usr/bin/python3 -m venv --system-site-packages "$work/venv-checkout"
"$work/venv-checkout/bin/python" -m pip install -q --no-build-isolation "$work/checkout" >"$work/pip.log" 2>&1 ||
  { cat "$work/pip.log"; fail "pip install of a clean checkout failed"; }
(cd "$work" && "$work/venv-checkout/bin/python" -c 'import sys, orvessa
assert orvessa.__file__.startswith(sys.prefix)
orvessa.read_picture(sys.argv[1])' "$root/sample-pictures/coffee.jpg") ||
  fail "the package pip installed from a checkout does not import or read a picture"
echo "-- the wheel checked"
