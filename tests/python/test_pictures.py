"""Pictures read, filtered, written and painted gray as the orvessa tool does."""

import ast
import copy
import errno
import inspect
import multiprocessing
import os
import pickle
import struct
import zlib

import numpy as np
import pytest
from conftest import PICTURES, SOURCE, run_tool

import orvessa


@pytest.mark.parametrize("name, filter_name, suffix, quality", [
    ("coffee.jpg", "smooth", ".png", None),
    ("coffee.jpg", "blur", ".jpg", 70),
    ("chelsea.gif", "smooth", ".bmp", None),
    ("astronaut.png", "blur", ".webp", None),
    ("camera-8bit.bmp", "smooth", ".png", None),
])
def test_filtered_pictures_are_the_tools(name, filter_name, suffix, quality, tmp_path):
    source = PICTURES / name
    want, got = tmp_path / f"tool{suffix}", tmp_path / f"python{suffix}"
    run_tool(filter_name, source, want, *([f"--quality={quality}"] if quality else []))

    getattr(orvessa, f"{filter_name}_file")(source, got, quality=quality)
    assert got.read_bytes() == want.read_bytes()

    # In memory: the tool's decoding and the tool's pixels.
    if suffix in (".png", ".bmp"):
        picture = getattr(orvessa, filter_name)(orvessa.read_picture(source))
        np.testing.assert_array_equal(picture, orvessa.read_picture(want))


@pytest.mark.parametrize("options, keywords", [
    ([], {}),
    (["--two-color", "--threshold=90"], {"two_color": True, "threshold": 90}),
    (["--fit=200x120"], {"fit": (200, 120)}),
    (["--two-color", "--fit=90x150"], {"two_color": True, "fit": (90, 150)}),
])
def test_gray_paints_and_writes_as_the_tool(options, keywords, tmp_path):
    source = PICTURES / "chelsea-small.bmp"
    for suffix, quality in [(".png", None), (".bmp", None), (".jpg", 60)]:
        want, got = tmp_path / f"tool{suffix}", tmp_path / f"python{suffix}"
        run_tool("gray", source, want, *options, *([f"--quality={quality}"] if quality else []))
        gray = orvessa.gray(source, **keywords)
        orvessa.write_picture(got, gray, quality=quality)
        assert got.read_bytes() == want.read_bytes()
    np.testing.assert_array_equal(gray, orvessa.read_picture(tmp_path / "tool.png"))


def test_units_and_fit_as_the_tool():
    for himetric, dpi in [(2540, 96), (1000.5, 120), (-333, 72)]:
        assert orvessa.scale_x(himetric, dpi) == int(run_tool("scale-x", himetric, f"--dpi={dpi}").stdout)
        assert orvessa.scale_y(himetric, dpi=dpi) == int(run_tool("scale-y", himetric, f"--dpi={dpi}").stdout)
    assert orvessa.fit(101, 50, 100, 100) == tuple(map(int, run_tool("fit", 101, 50, 100, 100).stdout.split()))
    with pytest.raises(orvessa.Overflow):
        orvessa.scale_x(1e7)


@pytest.mark.parametrize("call, tool_args", [
    (lambda out: orvessa.gray(PICTURES / "coffee.jpg", threshold=256), ["gray", "--threshold=256", "IN", "OUT"]),
    (lambda out: orvessa.scale_y(2540, dpi=0), ["scale-y", "--dpi=0", "2540"]),
    (lambda out: orvessa.smooth(np.zeros((4, 4, 3), np.uint8), threads=-1), ["smooth", "--threads=-1", "IN", "OUT"]),
    (lambda out: orvessa.blur_file(PICTURES / "coffee.jpg", out, threads=-1), ["blur", "--threads=-1", "IN", "OUT"]),
    (lambda out: orvessa.smooth_file(PICTURES / "coffee.jpg", out, quality=0), ["smooth", "--quality=0", "IN", "OUT"]),
    (lambda out: orvessa.gray(PICTURES / "coffee.jpg", fit=(0, 3)), ["gray", "--fit=0x3", "IN", "OUT"]),
])
def test_refused_numbers_are_worded_as_the_tools(call, tool_args, tmp_path):
    out = tmp_path / "out.png"
    with pytest.raises(ValueError) as raised:
        call(out)
    tool = run_tool(*[{"IN": PICTURES / "coffee.jpg", "OUT": out}.get(a, a) for a in tool_args], check=False)
    assert tool.returncode == 1 and tool.stderr.startswith(f"orvessa: --{raised.value}\n")
    assert not out.exists()


def test_picture_failures(tmp_path):
    with pytest.raises(orvessa.FileNotFound):
        orvessa.read_picture(tmp_path / "missing.png")
    with pytest.raises(orvessa.FileNotFound):
        orvessa.gray(tmp_path / "missing.png", fit=(10, 10))
    with pytest.raises(orvessa.Error):
        orvessa.read_picture(PICTURES / "README.md")
    with pytest.raises(TypeError, match="uint8"):
        orvessa.write_picture(tmp_path / "out.png", np.zeros((4, 4, 3), np.float32))
    with pytest.raises(FileNotFoundError):
        orvessa.write_picture(tmp_path / "no-such-folder" / "out.png", np.zeros((4, 4, 3), np.uint8))
    with pytest.raises(ValueError, match="cannot write .gif"):
        orvessa.write_picture(tmp_path / "out.gif", np.zeros((4, 4, 3), np.uint8))
    with pytest.raises(ValueError, match="quality"):
        orvessa.smooth_file(PICTURES / "coffee.jpg", tmp_path / "out.png", quality=50)
    with pytest.raises(orvessa.OutOfMemory):
        orvessa.read_picture(PICTURES / "coffee.jpg", max_pixels=1000)


@pytest.mark.parametrize("number, code, kind", [
    (53, errno.ENOENT, FileNotFoundError), (75, errno.EACCES, OSError), (75, 0, OSError),
    (481, 0, ValueError), (481, errno.EIO, OSError), (6, 0, OverflowError), (7, 0, MemoryError),
    (9, 0, IndexError), (1004, 0, orvessa.Error)])
def test_errors_survive_pickle_and_copy(number, code, kind):
    error = orvessa.errors.error_for(number, "lost", code, "x.png")
    assert isinstance(error, kind) and error.filename == "x.png" and str(error) == f"lost (error {number})"
    assert not code or (error.errno, error.strerror) == (code, os.strerror(code))
    fields = ("__class__", "number", "description", "errno", "strerror", "filename", "args")
    for again in (pickle.loads(pickle.dumps(error)), copy.copy(error)):
        assert [getattr(again, f, None) for f in fields] == [getattr(error, f, None) for f in fields]


def test_functions_pickle_by_name_with_the_stub_parameters():
    for stub in (n for n in ast.parse((SOURCE / "python/orvessa/__init__.pyi").read_text()).body
                 if isinstance(n, ast.FunctionDef)):
        function = getattr(orvessa, stub.name)
        assert pickle.loads(pickle.dumps(function)) is function
        assert [*inspect.signature(function).parameters] == [a.arg for a in stub.args.args + stub.args.kwonlyargs]


def test_a_pool_worker_error_reaches_the_parent(tmp_path):
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        pending = pool.map_async(orvessa.read_picture, [tmp_path / "missing.png"])
        with pytest.raises(orvessa.FileNotFound, match=r"\(error 53\)$"):  # a FileNotFoundError
            pending.get(timeout=30)  # an error that fails to unpickle would leave it waiting for good


@pytest.mark.parametrize("method", ["fork", "spawn", "forkserver"])
def test_a_pool_works_after_the_parent_read_and_wrote_pictures(method, tmp_path):
    # The parent's picture threads have run (two workers and the encoder) before
    # the pool starts: a forked child must not wait on anything of theirs.
    source = PICTURES / "coffee.jpg"
    orvessa.write_picture(tmp_path / "read.png", orvessa.read_picture(source))
    orvessa.blur_file(source, tmp_path / "parent.png", threads=2)
    jobs = [(source, tmp_path / f"child-{i}.png") for i in range(4)]
    with multiprocessing.get_context(method).Pool(2) as pool:
        pool.starmap_async(orvessa.blur_file, jobs).get(timeout=60)  # a hang fails here
    for _, target in jobs:
        assert target.read_bytes() == (tmp_path / "parent.png").read_bytes()


@pytest.mark.parametrize("spelling", ["same", "dot", "link", "hard link"])
def test_a_file_job_works_in_place_and_a_failed_one_loses_nothing(spelling, tmp_path, monkeypatch):
    photo = tmp_path / "photo.jpg"
    photo.write_bytes((PICTURES / "coffee.jpg").read_bytes())
    want = tmp_path / "want.jpg"
    run_tool("blur", photo, want)
    target = {"same": photo, "dot": tmp_path / "." / "photo.jpg", "link": tmp_path / "link.jpg",
              "hard link": tmp_path / "hard.jpg"}[spelling]
    if spelling == "link":
        target.symlink_to(photo.name)
    elif spelling == "hard link":
        os.link(photo, target)
    monkeypatch.chdir(tmp_path)
    original = photo.read_bytes()
    orvessa.blur_file(photo.name if spelling == "same" else photo, target)
    assert target.read_bytes() == want.read_bytes() and (spelling != "link" or target.is_symlink())
    # A hard link is a name of its own: it is replaced, the other name keeps the photo.
    assert photo.read_bytes() == (original if spelling == "hard link" else want.read_bytes())

    # A source cut short: refused every time, the target whole, no temporary file left.
    cut = tmp_path / "cut.jpg"
    cut.write_bytes((PICTURES / "coffee.jpg").read_bytes()[:3000])
    before = sorted(tmp_path.iterdir())
    for threads in (0, 1, 2, 8) * 5:
        with pytest.raises(orvessa.InvalidPicture, match="cannot read .*cut.jpg: "):
            orvessa.smooth_file(cut, target, threads=threads)
    assert target.read_bytes() == want.read_bytes() and sorted(tmp_path.iterdir()) == before


def test_a_failed_write_says_why():
    with pytest.raises(OSError) as raised:
        orvessa.write_picture("/dev/full", np.zeros((64, 64, 3), np.uint8))
    assert raised.value.errno == errno.ENOSPC and "No space left on device" in str(raised.value)


def _png(ihdr=(8, 8, 8, 2, 0), idat=None, crc=None, iend=True):
    def chunk(kind, data, check=None):
        return (len(data).to_bytes(4, "big") + kind + data
                + (zlib.crc32(kind + data) if check is None else check).to_bytes(4, "big"))
    width, height, depth, colour, interlace = ihdr
    rows = b"".join(b"\0" + bytes((x * 30 + y * 7) % 256 for x in range(width * 3)) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace), crc)
            + (b"" if idat == b"" else chunk(b"IDAT", zlib.compress(rows) if idat is None else idat))
            + (chunk(b"IEND", b"") if iend else b""))


def _icon(png):
    """An icon whose one image is the PNG file."""
    return struct.pack("<HHHBBBBHHII", 0, 1, 1, 8, 8, 0, 0, 1, 32, len(png), 22) + png


_CORRUPT = [
    ("bad head checksum", _png(crc=1)), ("no pixel data", _png(idat=b"")), ("colour type 1", _png((8, 8, 8, 1, 0))),
    ("depth 0", _png((8, 8, 0, 0, 0))), ("zero width", _png((0, 8, 8, 2, 0))), ("bad interlace", _png((8, 8, 8, 2, 7))),
    ("corrupt zlib", _png(idat=b"\x78\x9c" + b"\xff" * 30)), ("rows short", _png(idat=zlib.compress(b"\0" * 100))),
    # An icon's PNG image is refused as the same file alone, every time.
    ("icon, IDAT of length 0", _icon(_png(idat=b""))), ("icon, PNG cut", _icon(_png()[:60])),
    ("icon, rows short", _icon(_png(idat=zlib.compress(b"\0" * 100)))),
    ("PNM, samples missing", b"P3 2 2 255\n1 2 3 4 5 6"), ("PNM, sample above maxval", b"P2 2 1 9\n3 10"),
    ("PNM, binary rows short", b"P6 4 4 255\n" + bytes(40)),
    ("BMP, pixels inside its heads", b"BM" + struct.pack("<IHHIIiiHHIIiiII", 62, 0, 0, 0, 40, 2, 1, 1, 24, 0, 8, 0, 0, 0, 0)
     + bytes(8)),
]


@pytest.mark.parametrize("name, data", _CORRUPT, ids=[name for name, _ in _CORRUPT])
def test_corrupt_pictures_are_refused(name, data, tmp_path):
    (tmp_path / "p").write_bytes(data)
    for _ in range(3):
        with pytest.raises(orvessa.InvalidPicture):
            orvessa.read_picture(tmp_path / "p")
    (tmp_path / "p.png").write_bytes(_png())  # the same picture whole
    assert orvessa.read_picture(tmp_path / "p.png").shape == (8, 8, 3)


def test_pnm_samples_are_scaled_by_their_maximum(tmp_path):
    (tmp_path / "p.pgm").write_bytes(b"P2 3 1 1  0 1 1")
    assert orvessa.read_picture(tmp_path / "p.pgm")[0, :, 0].tolist() == [0, 255, 255]
    (tmp_path / "p.ppm").write_bytes(b"P3 1 1 100  0 50 100")
    assert orvessa.read_picture(tmp_path / "p.ppm")[0, 0].tolist() == [0, 128, 255]


def test_a_message_is_about_its_own_file(tmp_path):
    """A failure's text comes from the reader of that file, never from one read before."""
    (tmp_path / "broken.png").write_bytes(_png(idat=b"\x78\x9c" + b"\xff" * 30))
    (tmp_path / "broken.gif").write_bytes((SOURCE / "tests/broken-pictures/badlzw_ff.gif").read_bytes())
    with pytest.raises(orvessa.InvalidPicture, match="PNG"):
        orvessa.read_picture(tmp_path / "broken.png")
    with pytest.raises(orvessa.InvalidPicture) as raised:
        orvessa.read_picture(tmp_path / "broken.gif")
    assert "GIF" in str(raised.value) and "PNG" not in str(raised.value) and "png" not in str(raised.value)


def _oriented(jpeg, orientation):
    """The JPEG with an EXIF block that says its orientation."""
    tiff = b"II*\0" + struct.pack("<IHHHIHHI", 8, 1, 0x0112, 3, 1, orientation, 0, 0)
    app1 = b"Exif\0\0" + tiff
    return jpeg[:2] + b"\xff\xe1" + (len(app1) + 2).to_bytes(2, "big") + app1 + jpeg[2:]


_UPRIGHT = {1: lambda a: a, 2: np.fliplr, 3: lambda a: np.rot90(a, 2), 4: np.flipud,
            5: lambda a: a.transpose(1, 0, 2), 6: lambda a: np.rot90(a, -1),
            7: lambda a: np.rot90(np.fliplr(a), -1), 8: np.rot90}


@pytest.mark.parametrize("orientation", range(1, 9))
def test_pictures_are_read_upright_and_filtered_as_stored(orientation, tmp_path):
    stored = orvessa.read_picture(PICTURES / "chelsea-small.bmp")
    orvessa.write_picture(tmp_path / "plain.jpg", stored)
    photo = tmp_path / "photo.jpg"
    photo.write_bytes(_oriented((tmp_path / "plain.jpg").read_bytes(), orientation))
    as_stored = orvessa.read_picture(photo, orient=False)
    upright = _UPRIGHT[orientation](as_stored)
    np.testing.assert_array_equal(orvessa.read_picture(photo), upright)

    # gray paints the upright picture, in Python and in the tool.
    orvessa.write_picture(tmp_path / "upright.png", upright)
    want = orvessa.gray(tmp_path / "upright.png")
    np.testing.assert_array_equal(orvessa.gray(photo), want)
    run_tool("gray", photo, tmp_path / "tool.png")
    np.testing.assert_array_equal(orvessa.read_picture(tmp_path / "tool.png"), want)

    # The streaming filters keep the stored pixels and the orientation.
    orvessa.blur_file(photo, tmp_path / "blurred.jpg")
    assert orvessa.read_picture(tmp_path / "blurred.jpg", orient=False).shape == as_stored.shape
    assert orvessa.read_picture(tmp_path / "blurred.jpg").shape == upright.shape
