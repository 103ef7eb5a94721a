#!/usr/bin/env bash
# Builds the packages into out/packages/, in build trees of their own
# (build/package-native, build/package-windows-32, build/package-windows-64):
#   orvessa_<version>_<arch>.deb         the tool and its manual page
#   liborvessa-dev_<version>_<arch>.deb  static libraries, headers, CMake and pkg-config files
#   python3-orvessa_<version>_<arch>.deb the Python package, for Debian's python3
#   orvessa-dbgsym_..., python3-orvessa-dbgsym_...
#                                        the debug symbols of the tool and of the Python
#                                        extension, as /usr/lib/debug/.build-id/ files
#   Orvessa-<text version>-windows.zip   x86/Orvessa.dll, x64/Orvessa.dll, their manifests,
#                                        README.txt for Windows users, script examples
#   orvessa-<semver>.tgz                 the npm package (WebAssembly), from build/web
#   orvessa-<version>.tar.gz             the Python sdist
#   orvessa-<version>-<tags>.whl         the Python wheel, built from the sdist, with the
#                                        picture libraries it loads inside it
#   SHA256SUMS
# Built twice from the same commit, anywhere, the files are the same bytes
# (tests/install/rebuild.sh checks): every time in them is SOURCE_DATE_EPOCH,
# the commit's time unless it is set, and every archive is in name order
# with fixed owners and modes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/windows-common.sh"
out="$root/out/packages"
debian="$root/packaging/debian"
native="$root/build/package-native"
stage="$native/stage"

"$root/scripts/setup.sh"
export LC_ALL=C.UTF-8 TZ=UTC
umask 022
if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
  # Without git (a source tarball), the time of the changelog's last entry.
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$debian/changelog" -STimestamp)
fi
export SOURCE_DATE_EPOCH
version=$(dpkg-parsechangelog -l "$debian/changelog" -SVersion)
project_version=$(sed -n 's/^project(Orvessa VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
if [[ "$version" != "$project_version" ]]; then
  echo "packaging/debian/changelog's last entry is $version, the project is $project_version:" \
    "add an entry" >&2
  exit 1
fi
rm -rf "$out" "$stage"
mkdir -p "$out" "$stage"

echo "-- Debian packages"
# /usr with the Debian layout: the libraries under lib/<triplet>. -g for the
# debug symbols, which leave the binaries before packaging.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-g \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR="lib/$multiarch" \
  -DORVESSA_BUILD_TESTS=OFF -DORVESSA_BUILD_BENCH=OFF >/dev/null
cmake --build "$native" -j 2 --target orvessa orvessa_man orvessa_core orvessa_platform orvessa_python

# Sets a staged package tree as a packager's tools leave it: the copyright
# and changelog, man pages compressed, binaries stripped with their debug
# parts moved to <package>-dbgsym; one time and fixed modes on everything.
prepare_tree() {
  local package=$1 tree="$stage/$1" file id debug
  local doc="$tree/usr/share/doc/$package" symbols="$stage/$1-dbgsym"
  install -D -m 644 "$debian/copyright" "$doc/copyright"
  gzip -9n <"$debian/changelog" >"$doc/changelog.gz"
  if [[ -d "$tree/usr/share/man" ]]; then
    find "$tree/usr/share/man" -type f -name '*.[1-9]' -exec gzip -9n {} +
  fi
  while IFS= read -r file; do
    case $(file -b "$file") in
      *"current ar archive"*)
        strip --strip-debug --remove-section=.comment --remove-section=.note \
          --enable-deterministic-archives "$file" ;;
      ELF*)
        id=$(readelf -n "$file" | sed -n 's/^ *Build ID: //p')
        debug="$symbols/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug"
        mkdir -p "${debug%/*}"
        objcopy --only-keep-debug --compress-debug-sections "$file" "$debug"
        chmod 644 "$debug"
        strip --remove-section=.comment --remove-section=.note --strip-unneeded "$file"
        objcopy --add-gnu-debuglink="$debug" "$file"
        # Python loads extensions with dlopen: they need no execute bit.
        [[ "$file" != *.so ]] || chmod 644 "$file"
        echo "$id" >>"$stage/$package.build-ids"
        echo "$file" >>"$stage/$package.binaries" ;;
    esac
  done < <(find "$tree" -type f | sort)
  if [[ -d "$symbols" ]]; then
    mkdir -p "$symbols/usr/share/doc"
    ln -s "$package" "$symbols/usr/share/doc/$package-dbgsym"
  fi
}

# Writes DEBIAN/control and md5sums into TREE and builds the package;
# the package's substitutions come from SUBSTVARS.
build_deb() {
  local tree=$1 substvars=$2
  shift 2
  mkdir -p "$tree/DEBIAN"
  (cd "$root/packaging" && dpkg-gencontrol -f"$stage/files" -T"$substvars" -P"$tree" "$@")
  (cd "$tree" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z |
    xargs -0r md5sum >DEBIAN/md5sums)
  find "$tree" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  # One xz thread: several split the stream by the number of processors.
  dpkg-deb --root-owner-group -Zxz --threads-max=1 --build "$tree" "$out" >/dev/null
}

for part in tool:orvessa dev:liborvessa-dev python:python3-orvessa; do
  DESTDIR="$stage/${part#*:}" cmake --install "$native" --component "${part%%:*}" >/dev/null
  prepare_tree "${part#*:}"
done
extension=$(find "$stage/python3-orvessa" -name '_orvessa.cpython-*.so')
python=$(sed 's/.*cpython-\([0-9]\)\([0-9]*\)-.*/\1.\2/' <<<"${extension##*/}")
echo "python3:Depends=python3 (>= $python), python3 (<< ${python%.*}.$((${python#*.} + 1)))" \
  >"$stage/python3-orvessa.substvars"
for package in orvessa liborvessa-dev python3-orvessa; do
  substvars="$stage/$package.substvars"
  touch "$substvars"
  if [[ -f "$stage/$package.binaries" ]]; then
    mapfile -t binaries <"$stage/$package.binaries"
    # It warns that the binaries are not under debian/<package>/: they are staged elsewhere.
    (cd "$root/packaging" && dpkg-shlibdeps -T"$substvars" "${binaries[@]}") 2>&1 |
      { grep -v "should already be installed in their package's directory" || true; } >&2
  fi
  build_deb "$stage/$package" "$substvars" -p"$package"
  if [[ -f "$stage/$package.build-ids" ]]; then
    build_deb "$stage/$package-dbgsym" "$substvars" -p"$package" -DPackage="$package-dbgsym" \
      -DDepends="$package (= \${binary:Version})" -DSection=debug -DPriority=optional \
      -DDescription="debug symbols for $package" -DAuto-Built-Package=debug-symbols \
      -DBuild-Ids="$(sort "$stage/$package.build-ids" | xargs)" -UMulti-Arch \
      -USuggests -URecommends
  fi
done

echo "-- Python sdist and wheel"
# The sdist, then the wheel built from it as pip builds one, by Debian's
# python3 without build isolation: nothing comes from an index.
PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -m build --no-isolation --outdir "$out" "$root" \
  >"$stage/python-build.log" 2>&1 || { cat "$stage/python-build.log" >&2; exit 1; }

echo "-- Windows zip"
zip_name="Orvessa-$("$native/orvessa" --version | cut -d' ' -f2)-windows"
windows_options=(-DORVESSA_BUILD_TESTS=OFF)
# widl writes its time into the type library, which the DLL embeds: this
# time, and the library made again, should an earlier build have made it.
export WIDL_TIME_OVERRIDE=$SOURCE_DATE_EPOCH
for bits in 32 64; do
  use_windows_tree "$bits" "$root/build/package-windows-$bits"
  rm -f "$windows_build/generated/Orvessa.tlb"
  build_windows_tree Orvessa orvessa_zip_header
  cmake --install "$windows_build" --component windows --prefix "$stage/zip/$zip_name" >/dev/null
done
# Entries in name order, each with the one time and a fixed mode.
python3 - "$stage/zip" "$out/$zip_name.zip" <<'EOF'
import os, sys, time, zipfile
top, target = sys.argv[1:]
when = time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"]))[:6]
names = []
for folder, dirs, files in os.walk(top):
    names += [os.path.relpath(os.path.join(folder, d), top) + "/" for d in dirs]
    names += [os.path.relpath(os.path.join(folder, f), top) for f in files]
with zipfile.ZipFile(target, "w") as archive:
    for name in sorted(names):
        entry = zipfile.ZipInfo(name, when)
        if name.endswith("/"):
            entry.external_attr = 0o40755 << 16 | 0x10
            archive.writestr(entry, b"")
        else:
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(top, name), "rb") as f:
                archive.writestr(entry, f.read())
EOF
echo "-- npm package"
"$root/scripts/build-web.sh" >/dev/null
# npm gives every entry one time and fixed modes itself.
npm pack --silent --pack-destination "$out" "$root/build/web/package" >/dev/null
rm -rf "$stage"
(cd "$out" && sha256sum -- *.deb *.zip *.tgz *.tar.gz *.whl >SHA256SUMS)
ls -l "$out"
