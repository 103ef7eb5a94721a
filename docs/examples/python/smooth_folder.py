"""Smooths every picture of a folder on a dask.distributed cluster: each
worker smooths a picture file into a PNG file, the file that
`orvessa smooth IN OUT.png` writes.

    python3 smooth_folder.py IN_DIR OUT_DIR                      # a local cluster
    python3 smooth_folder.py IN_DIR OUT_DIR --scheduler tcp://host:8786

Every worker needs orvessa (the python3-orvessa package) and must see both
folders by the same paths (a shared file system).
"""

import argparse
import contextlib
import pathlib

from distributed import Client, LocalCluster

import orvessa

PICTURE_SUFFIXES = {".bmp", ".gif", ".ico", ".jpeg", ".jpg", ".png", ".tif", ".tiff"}


def smooth_file(source: str, target: str) -> str:
    # Streamed from decoder to encoder as the tool does, the source's
    # resolution and colour profile kept: the tool's file, byte for byte.
    # (orvessa.read_picture, orvessa.smooth and orvessa.write_picture give
    # the same pixels in an array, for work in between.)
    orvessa.smooth_file(source, target)
    return target


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pictures", type=pathlib.Path)
    parser.add_argument("results", type=pathlib.Path)
    parser.add_argument("--scheduler", help="a running scheduler, e.g. tcp://host:8786")
    args = parser.parse_args()
    args.results.mkdir(parents=True, exist_ok=True)
    sources = sorted(p for p in args.pictures.iterdir() if p.suffix.lower() in PICTURE_SUFFIXES)
    targets = [args.results / f"{p.name}.png" for p in sources]

    with contextlib.ExitStack() as stack:
        # A running scheduler, or two worker processes on this machine only.
        scheduler = args.scheduler or stack.enter_context(LocalCluster(
            n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
            dashboard_address=None))
        client = stack.enter_context(Client(scheduler))
        futures = client.map(smooth_file, [str(p) for p in sources], [str(p) for p in targets])
        for target in client.gather(futures):
            print(target)


if __name__ == "__main__":
    main()
