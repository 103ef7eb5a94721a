"""Shared pieces of the Python tests: the orvessa tool, which gives the bytes
every result is compared with, and the sample pictures. CTest (the build
tree's package) and tests/install/wheel.sh (the installed wheel) set
ORVESSA_CLI, ORVESSA_PICTURES, ORVESSA_SOURCE and ORVESSA_PACKAGE."""

import os
import pathlib
import subprocess

import numpy as np
import pytest

import orvessa

CLI = os.environ["ORVESSA_CLI"]
PICTURES = pathlib.Path(os.environ["ORVESSA_PICTURES"])
SOURCE = pathlib.Path(os.environ["ORVESSA_SOURCE"])

# The package under test is the one the run names, not another copy that
# comes first on sys.path.
assert (pathlib.Path(orvessa.__file__).parent.resolve()
        == pathlib.Path(os.environ["ORVESSA_PACKAGE"]).resolve()), orvessa.__file__


def run_tool(*args, check=True):
    result = subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, timeout=120)
    if check and result.returncode != 0:
        raise AssertionError(f"orvessa {args}: {result.returncode} {result.stderr}")
    return result


def buffer_of(image):
    """The pixel buffer of an (H, W, 3) array, whose rows run top-down: bottom-up rows."""
    height, width, _ = image.shape
    stride = (3 * width + 3) & ~3
    buffer = np.zeros((height, stride), dtype=np.uint8)
    buffer[:, : 3 * width] = image[::-1].reshape(height, 3 * width)
    return bytearray(buffer.tobytes())


def photo_like(seed, shape):
    """Smooth shading with mild noise and a few hard edges: pixels that both
    filters change (noise alone the smoothing keeps, as edges)."""
    rng = np.random.default_rng(seed)
    height, width, _ = shape
    y, x = np.mgrid[0:height, 0:width]
    shade = (x * 2 + y)[..., None] % 160 + np.array([40, 60, 80])
    picture = shade + rng.integers(-3, 4, shape)
    picture[rng.random((height, width)) < 0.05] = 255
    return np.clip(picture, 0, 255).astype(np.uint8)


def tool_raw(filter_name, buffer, width, height, tmp_path, lower_bound=0):
    """The tool's raw-buffer run: (exit status, stderr, the array it wrote)."""
    source, target = tmp_path / "in.raw", tmp_path / "out.raw"
    source.write_bytes(bytes(buffer))
    result = run_tool(filter_name, f"--raw={width}x{height}", f"--lower-bound={lower_bound}",
                      source, target, check=False)
    return result.returncode, result.stderr, bytearray(target.read_bytes())


def tool_image(filter_name, image, tmp_path):
    """What the tool's raw-buffer run makes of the pixels of an (H, W, 3) array."""
    height, width, _ = image.shape
    status, err, out = tool_raw(filter_name, buffer_of(image), width, height, tmp_path)
    assert status == 0, err
    stride = (3 * width + 3) & ~3
    rows = np.frombuffer(bytes(out), dtype=np.uint8).reshape(height, stride)
    return rows[::-1, : 3 * width].reshape(height, width, 3)


@pytest.fixture
def picture():
    return photo_like(19, (40, 52, 3))
