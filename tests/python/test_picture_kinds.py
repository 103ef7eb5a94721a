"""Every kind of picture read here, held to the pixels recorded for it:
stored and upright, gray, and filtered into PNG and TIFF. Run as a script,
it records them anew (tests/picture-kinds/recorded.json)."""

import hashlib
import json
import pathlib
import sys
import tempfile

import pytest

import orvessa

KINDS = pathlib.Path(__file__).resolve().parent.parent / "picture-kinds"
RECORDED = KINDS / "recorded.json"


def digest(array):
    return f"{array.shape[1]}x{array.shape[0]} " + hashlib.sha256(array.tobytes()).hexdigest()[:16]


def results(picture, folder):
    """What each way of reading makes of the picture, an error by its class."""
    def attempt(make):
        try:
            return digest(make())
        except orvessa.Error as error:
            return type(error).__name__

    out = {"stored": attempt(lambda: orvessa.read_picture(picture, orient=False)),
           "upright": attempt(lambda: orvessa.read_picture(picture)),
           "gray": attempt(lambda: orvessa.gray(picture))}
    for suffix in (".png", ".tif"):
        target = pathlib.Path(folder) / f"blurred{suffix}"
        out["blur" + suffix] = attempt(lambda: (orvessa.blur_file(picture, target),
                                                orvessa.read_picture(target, orient=False))[1])
    return out


def pictures():
    return sorted(p.name for p in KINDS.iterdir() if p.suffix not in (".json", ".md"))


@pytest.mark.parametrize("name", pictures())
def test_every_kind_reads_as_recorded(name, tmp_path):
    assert results(KINDS / name, tmp_path) == json.loads(RECORDED.read_text())[name]


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as folder:
        recorded = {name: results(KINDS / name, folder) for name in pictures()}
    RECORDED.write_text(json.dumps(recorded, indent=1, sort_keys=True) + "\n")
    sys.exit(0)
