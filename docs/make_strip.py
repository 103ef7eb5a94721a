"""Makes docs/strip.png, the before / after strip at the top of the README:
a piece of coffee.jpg as it is and as the orvessa tool blurs, smooths and
turns it gray and two-colour, each shown at twice its size so that a 3 x 3
filter can be seen. With the native build in build/native:

    PYTHONPATH=build/native/python /usr/bin/python3 docs/make_strip.py build/native/orvessa
"""

import pathlib
import subprocess
import sys
import tempfile

import numpy as np

import orvessa

ROOT = pathlib.Path(__file__).resolve().parent.parent
EFFECTS = [[], ["blur"], ["smooth"], ["gray"], ["gray", "--two-color", "--threshold", "100"]]
GAP = 6


def main():
    tool = sys.argv[1]
    piece = orvessa.read_picture(ROOT / "sample-pictures" / "coffee.jpg")[180:260, 250:370].copy()
    panels = []
    with tempfile.TemporaryDirectory() as folder:
        source = pathlib.Path(folder) / "piece.png"
        orvessa.write_picture(source, piece)
        for n, effect in enumerate(EFFECTS):
            if not effect:
                panels.append(piece)
                continue
            target = pathlib.Path(folder) / f"{n}.png"
            subprocess.run([tool, effect[0], source, target, *effect[1:]], check=True)
            panels.append(orvessa.read_picture(target))
    height, width = 2 * piece.shape[0], 2 * piece.shape[1]
    strip = np.full((height, len(panels) * (width + GAP) - GAP, 3), 255, dtype=np.uint8)
    for n, panel in enumerate(panels):
        strip[:, n * (width + GAP):n * (width + GAP) + width] = panel.repeat(2, axis=0).repeat(2, axis=1)
    orvessa.write_picture(ROOT / "docs" / "strip.png", strip)


if __name__ == "__main__":
    main()
