"""The build backend of the Python package orvessa (PEP 517): CMake builds and
installs the package as python/python.cmake says, and this module writes the
sdist and the wheel from it.

Our own backend rather than setuptools: setuptools would need glue of its own
to run CMake (a build_ext that drives it), which we do not have and which
would repeat python.cmake, where the extension, its sources and its install
already are. The build takes nothing from an index, so a checkout or an
sdist installs offline.

The wheel carries the libraries the extension loads beyond glibc, libstdc++
and libgcc_s: copied into orvessa.libs/ under names of their own, found
through a run path relative to the extension, so that it imports and reads
every format where none of them is installed. Its platform tag is the oldest
manylinux whose rules its binaries meet, else plain linux.

Run as a script, `orvessa_build.py metadata DIR` writes the .dist-info into
DIR (python.cmake, for the install tree and the Debian package).
"""

import base64
import gzip
import hashlib
import io
import os
import pathlib
import platform
import re
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import time
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
NAME = "orvessa"

# Everything the build reads, with the tests and benchmarks off.
SDIST_PATHS = ("CMakeLists.txt", "LICENSE", "README.md", "pyproject.toml",
               "cmake", "include", "python", "src", "tools")

# Taken from the system, never copied: glibc, the loader and the C++ runtime.
SYSTEM_LIBRARIES = {
    "libc.so.6", "libm.so.6", "libmvec.so.1", "libpthread.so.0", "libdl.so.2", "librt.so.1",
    "ld-linux-x86-64.so.2", "linux-vdso.so.1", "libstdc++.so.6", "libgcc_s.so.1",
}

# manylinux_2_N on x86-64: besides glibc 2.N, the newest symbol versions of
# the C++ runtime that the tag allows, those of its reference systems (GCC
# 11's runtime for 2.34, GCC 12's for 2.35 and 2.36).
MANYLINUX_X86_64 = {
    34: {"GLIBCXX": (3, 4, 29), "CXXABI": (1, 3, 13), "GCC": (7, 0, 0)},
    35: {"GLIBCXX": (3, 4, 30), "CXXABI": (1, 3, 13), "GCC": (12, 0, 0)},
    36: {"GLIBCXX": (3, 4, 30), "CXXABI": (1, 3, 13), "GCC": (12, 0, 0)},
}
# Symbol versions without a number: what each needs, None for nothing.
NAMED_VERSIONS = {"CXXABI_FLOAT128": None, "CXXABI_TM_1": None,
                  "GLIBC_ABI_DT_RELR": ("GLIBC", (2, 36))}


def _run(*command):
    done = subprocess.run([str(c) for c in command], capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, command))}: {done.stderr.strip()}")
    return done.stdout


def _version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"^project\(Orvessa VERSION ([0-9.]+)", text, re.M).group(1)


def _project():
    try:
        import tomllib
    except ModuleNotFoundError:  # before Python 3.11
        import tomli as tomllib
    with open(ROOT / "pyproject.toml", "rb") as f:
        return tomllib.load(f)["project"]


def _dist_info():
    return f"{NAME}-{_version()}.dist-info"


def _metadata():
    project = _project()
    fields = [("Metadata-Version", "2.1"), ("Name", project["name"]), ("Version", _version()),
              ("Summary", project["description"]), ("Keywords", ",".join(project["keywords"]))]
    fields += [("Author-email", f"{a['name']} <{a['email']}>") for a in project["authors"]]
    fields += [("License", project["license"]["text"])]
    fields += [("Classifier", c) for c in project["classifiers"]]
    fields += [("Requires-Python", project["requires-python"])]
    fields += [("Requires-Dist", d) for d in project["dependencies"]]
    for extra, needs in project["optional-dependencies"].items():
        fields += [("Provides-Extra", extra)]
        fields += [("Requires-Dist", f'{d}; extra == "{extra}"') for d in needs]
    fields += [("Description-Content-Type", "text/markdown")]
    head = "".join(f"{key}: {value}\n" for key, value in fields)
    return head + "\n" + (ROOT / project["readme"]).read_text(encoding="utf-8")


def write_dist_info(directory):
    """The .dist-info of an installed package: METADATA and top_level.txt."""
    dist_info = pathlib.Path(directory) / _dist_info()
    dist_info.mkdir(parents=True, exist_ok=True)
    (dist_info / "METADATA").write_text(_metadata(), encoding="utf-8")
    (dist_info / "top_level.txt").write_text(NAME + "\n")
    return dist_info.name


def _when():
    # SOURCE_DATE_EPOCH (scripts/package.sh) makes the archives reproducible;
    # zip's times start in 1980.
    return max(int(os.environ.get("SOURCE_DATE_EPOCH", time.time())), 315532800)


def _source_files():
    """The sdist's files under ROOT: those git knows, tracked or new and not
    ignored; outside a checkout (an unpacked sdist), all of SDIST_PATHS."""
    try:
        top = _run("git", "-C", ROOT, "rev-parse", "--show-toplevel").strip()
    except (OSError, RuntimeError):  # no git, or not a checkout
        top = None
    if top and pathlib.Path(top).resolve() == ROOT:
        names = _run("git", "-C", ROOT, "ls-files", "-z", "--cached", "--others",
                     "--exclude-standard", "--", *SDIST_PATHS).split("\0")
    else:
        names = [p.relative_to(ROOT).as_posix() for top in SDIST_PATHS
                 for p in [ROOT / top, *(ROOT / top).rglob("*")]]
    return sorted({n for n in names if n and (ROOT / n).is_file() and "__pycache__" not in n})


def _tags():
    """The interpreter and ABI tags of the running CPython, whose extension is built."""
    implementation, abi = sysconfig.get_config_var("SOABI").split("-")[:2]
    if implementation != "cpython":
        raise RuntimeError(f"orvessa's wheel is built for CPython, not {implementation}")
    return f"cp{sys.version_info.major}{sys.version_info.minor}", f"cp{abi}"


def _cmake(build, prefix):
    """Builds the package in BUILD and installs it into PREFIX (the package at its top)."""
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
    subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                    "-DORVESSA_BUILD_TESTS=OFF", "-DORVESSA_BUILD_BENCH=OFF",
                    "-DORVESSA_PYTHON_REQUIRED=ON", "-DORVESSA_PYTHON_INSTALL_DIR=.",
                    f"-DPython3_EXECUTABLE={sys.executable}"], check=True, stdout=sys.stderr)
    subprocess.run(["cmake", "--build", build, "--target", "orvessa_python", "--parallel", jobs],
                   check=True, stdout=sys.stderr)
    subprocess.run(["cmake", "--install", build, "--component", "python", "--prefix", prefix],
                   check=True, stdout=sys.stderr)


def _elf(path):
    """The NEEDED names of an ELF file and the symbol versions it needs, by library."""
    text = _run("objdump", "-p", path)
    needed = re.findall(r"^\s+NEEDED\s+(\S+)$", text, re.M)
    versions, library = {}, None
    for line in text.partition("Version References:")[2].splitlines():
        if m := re.match(r"\s+required from (\S+):$", line):
            library = versions.setdefault(m.group(1), set())
        elif m := re.match(r"\s+0x[0-9a-f]+ 0x[0-9a-f]+ \d+ (\S+)$", line):
            library.add(m.group(1))
    return needed, versions


def _loaded(path):
    """{name: file} of every library the loader finds for PATH (ldd)."""
    found = {}
    for line in _run("ldd", path).splitlines():
        name, arrow, where = line.strip().partition(" => ")
        if where.startswith("not found"):
            raise RuntimeError(f"{path} needs {name}, which is not found")
        if arrow:
            found[name] = where.rpartition(" (")[0]
    return found


def _patch(binary, renamed, run_path, soname=None):
    """Strips BINARY, points its NEEDED entries at the copies and sets its run path."""
    _run("strip", "--strip-unneeded", "--remove-section=.gnu_debuglink", binary)
    changes = []
    for name in _elf(binary)[0]:
        if name in renamed:
            changes += ["--replace-needed", name, renamed[name]]
        elif name not in SYSTEM_LIBRARIES:
            raise RuntimeError(f"{binary} needs {name}, which is neither copied nor the system's")
    # One change a run: patchelf 0.14 mixes up a run path set with other changes.
    if soname:
        _run("patchelf", "--set-soname", soname, binary)
    if changes:
        _run("patchelf", *changes, binary)
    _run("patchelf", "--force-rpath", "--set-rpath", run_path, binary)


def _bundle(package, libs):
    """Copies the libraries the extension loads beyond the system's into LIBS,
    each named after its soname and a digest of its bytes (libjpeg-1a2b3c4d.so.62),
    so that it never stands for another copy that a process has loaded.
    Returns the extension and the copies."""
    extension = next(package.glob("_orvessa*.so"))
    found = {n: f for n, f in _loaded(extension).items() if n not in SYSTEM_LIBRARIES}
    renamed = {}
    for name, file in found.items():
        stem, _, suffix = name.partition(".so")
        digest = hashlib.sha256(pathlib.Path(file).read_bytes()).hexdigest()[:8]
        renamed[name] = f"{stem}-{digest}.so{suffix}"
    libs.mkdir()
    for name, file in sorted(found.items()):
        copy = libs / renamed[name]
        shutil.copyfile(file, copy)
        copy.chmod(0o644)
        _patch(copy, renamed, "$ORIGIN", soname=renamed[name])
    _patch(extension, renamed, f"$ORIGIN/../{libs.name}")
    return [extension, *sorted(libs.iterdir())]


def _platform_tag(binaries):
    """manylinux_2_N for the smallest N whose rules the binaries meet, else linux."""
    machine = platform.machine()
    needs = {}
    for binary in binaries:
        for library, versions in _elf(binary)[1].items():
            if library not in SYSTEM_LIBRARIES:
                continue  # one of the copies
            for version in versions:
                family, _, number = version.partition("_")
                if version in NAMED_VERSIONS:
                    if NAMED_VERSIONS[version]:
                        family, least = NAMED_VERSIONS[version]
                        needs[family] = max(needs.get(family, ()), least)
                elif re.fullmatch(r"\d+(\.\d+)*", number) and family in ("GLIBC", "GLIBCXX", "CXXABI", "GCC"):
                    needs[family] = max(needs.get(family, ()), tuple(map(int, number.split("."))))
                else:
                    return f"linux_{machine}"  # GLIBC_PRIVATE and the like
    if machine == "x86_64":
        for minor, newest in sorted(MANYLINUX_X86_64.items()):
            if needs.get("GLIBC", ()) <= (2, minor) and all(needs.get(f, ()) <= v for f, v in newest.items()):
                return f"manylinux_2_{minor}_{machine}"
    return f"linux_{machine}"


def _digest(data):
    return base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()


def _write_wheel(stage, target, dist_info):
    """The wheel of the tree STAGE: entries in name order, the .dist-info last
    and RECORD at its end, one time and fixed modes."""
    when = time.gmtime(_when())[:6]
    names = sorted((p.relative_to(stage).as_posix() for p in stage.rglob("*") if p.is_file()),
                   key=lambda n: (n.startswith(dist_info + "/"), n))
    record = []
    with zipfile.ZipFile(target, "w") as archive:
        def add(name, data):
            entry = zipfile.ZipInfo(name, when)
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data, compresslevel=9)
            record.append(f"{name},sha256={_digest(data)},{len(data)}")
        for name in names:
            add(name, (stage / name).read_bytes())
        record.append(f"{dist_info}/RECORD,,")
        add(f"{dist_info}/RECORD", "".join(line + "\n" for line in record).encode())


# The hooks.

def get_requires_for_build_wheel(config_settings=None):
    return [] if sys.version_info >= (3, 11) else ["tomli"]


def get_requires_for_build_sdist(config_settings=None):
    return get_requires_for_build_wheel(config_settings)


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    return write_dist_info(metadata_directory)


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    """Builds in build/wheel-<abi> of the source tree, or where the setting
    build-dir says (pip's --config-settings build-dir=...)."""
    interpreter, abi = _tags()
    build = (config_settings or {}).get("build-dir") or ROOT / "build" / f"wheel-{abi}"
    with tempfile.TemporaryDirectory() as folder:
        stage = pathlib.Path(folder)
        _cmake(build, stage)
        binaries = _bundle(stage / NAME, stage / f"{NAME}.libs")
        dist_info = stage / _dist_info()
        shutil.copyfile(ROOT / "LICENSE", dist_info / "LICENSE")
        tag = f"{interpreter}-{abi}-{_platform_tag(binaries)}"
        (dist_info / "WHEEL").write_text("Wheel-Version: 1.0\nGenerator: orvessa_build\n"
                                         f"Root-Is-Purelib: false\nTag: {tag}\n")
        name = f"{NAME}-{_version()}-{tag}.whl"
        _write_wheel(stage, pathlib.Path(wheel_directory) / name, dist_info.name)
    return name


def build_sdist(sdist_directory, config_settings=None):
    """The sources the build needs and PKG-INFO, under orvessa-<version>/, in
    name order, owned by root, with one time and fixed modes."""
    base = f"{NAME}-{_version()}"
    when = _when()
    members = {name: ROOT / name for name in _source_files()}
    members["PKG-INFO"] = _metadata().encode()
    target = pathlib.Path(sdist_directory) / f"{base}.tar.gz"
    with open(target, "wb") as raw, \
            gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=when) as packed, \
            tarfile.open(fileobj=packed, mode="w", format=tarfile.PAX_FORMAT) as archive:
        for name, source in sorted(members.items()):
            data = source if isinstance(source, bytes) else source.read_bytes()
            entry = tarfile.TarInfo(f"{base}/{name}")
            entry.size, entry.mtime, entry.uname, entry.gname = len(data), when, "root", "root"
            entry.mode = 0o755 if isinstance(source, pathlib.Path) and os.access(source, os.X_OK) else 0o644
            archive.addfile(entry, io.BytesIO(data))
    return target.name


if __name__ == "__main__":
    if sys.argv[1:2] != ["metadata"] or len(sys.argv) != 3:
        sys.exit("usage: orvessa_build.py metadata DIR")
    write_dist_info(sys.argv[2])
