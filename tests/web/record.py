"""Records what the Python package and the orvessa tool make of a few small
pictures and pixel buffers into recorded.json, which the JavaScript
package's tests compare with. Run it after changing a filter, with the
native build in build/native:

    PYTHONPATH=build/native/python python3 tests/web/record.py build/native/orvessa
"""

import base64
import json
import pathlib
import subprocess
import sys
import tempfile

import numpy as np

import orvessa
from orvessa._orvessa import filters as FILTERS

HERE = pathlib.Path(__file__).parent
PICTURES = HERE.parent.parent / "sample-pictures"


def b64(data):
    return base64.b64encode(bytes(data)).decode("ascii")


def record_pictures(rng):
    cases = []
    for width, height in [(1, 1), (2, 5), (3, 4), (4, 4), (5, 4), (7, 6), (9, 9), (17, 5), (33, 7), (64, 8)]:
        image = rng.integers(0, 256, (height, width, 3), dtype=np.uint8)
        for name in FILTERS:
            result = image.copy()
            getattr(orvessa, name)(result)
            cases.append({"filter": name, "width": width, "height": height,
                          "input": b64(image.tobytes()), "output": b64(result.tobytes())})
    return cases


def record_buffers(rng):
    """The buffer methods' contract: lower bounds, short buffers, overflow;
    the bytes as the method leaves them, also after an error."""
    cases = []
    for width, height, lower_bound, length in [
        (5, 4, 0, None), (7, 6, 0, None), (6, 5, -4, None), (5, 4, 1, None),
        (9, 6, 0, 100), (9, 6, 0, 20), (715827882, 2, 0, 16), (3, 2147483647, 0, 64),
    ]:
        stride = (3 * width + 3) & ~3
        size = length if length is not None else stride * height
        data = bytearray(rng.integers(0, 256, size, dtype=np.uint8).tobytes())
        for name in FILTERS:
            result = bytearray(data)
            number = 0
            try:
                getattr(orvessa, name + "_buffer")(result, width, height, lower_bound=lower_bound)
            except orvessa.Error as error:
                number = error.number
            cases.append({"filter": name, "width": width, "height": height, "lowerBound": lower_bound,
                          "input": b64(data), "output": b64(result), "error": number})
    return cases


def record_tool(tool):
    """The tool's files for a 37 x 29 piece of a photo."""
    photo = orvessa.read_picture(PICTURES / "coffee.jpg")[100:129, 200:237].copy()
    runs = {"blur": ["blur"], "smooth": ["smooth"], "gray": ["gray"],
            "two-color": ["gray", "--two-color", "--threshold", "100"]}
    outputs = {}
    with tempfile.TemporaryDirectory() as folder:
        source = pathlib.Path(folder) / "piece.png"
        orvessa.write_picture(source, photo)
        for effect, command in runs.items():
            target = pathlib.Path(folder) / f"{effect}.png"
            subprocess.run([tool, command[0], source, target, *command[1:]], check=True)
            outputs[effect] = b64(orvessa.read_picture(target).tobytes())
    return {"width": photo.shape[1], "height": photo.shape[0], "input": b64(photo.tobytes()),
            "outputs": outputs}


def main():
    rng = np.random.default_rng(2026)
    recorded = {"pictures": record_pictures(rng), "buffers": record_buffers(rng),
                "tool": record_tool(sys.argv[1])}
    (HERE / "recorded.json").write_text(json.dumps(recorded, indent=1) + "\n")


if __name__ == "__main__":
    main()
