"""Smooths every picture of a folder on a dask.distributed cluster: each
worker smooths a picture file into the file that `orvessa smooth -o OUT_DIR`
writes, under the same name (PNG where the tool does not write the
picture's own format). A picture that cannot be read is reported by name
and the others go on; the exit status is then 1.

    python3 smooth_folder.py IN_DIR OUT_DIR                      # a local cluster
    python3 smooth_folder.py IN_DIR OUT_DIR --scheduler tcp://host:8786

Every worker needs orvessa (the python3-orvessa package) and must see both
folders by the same paths (a shared file system).
"""

import argparse
import contextlib
import pathlib
import sys

from distributed import Client, LocalCluster, as_completed

import orvessa


def smooth_file(source: str, target: str) -> str:
    # Streamed from decoder to encoder as the tool does, the source's
    # resolution and colour profile kept: the tool's file, byte for byte.
    orvessa.smooth_file(source, target)
    return target


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pictures", type=pathlib.Path)
    parser.add_argument("results", type=pathlib.Path)
    parser.add_argument("--scheduler", help="a running scheduler, e.g. tcp://host:8786")
    args = parser.parse_args()
    args.results.mkdir(parents=True, exist_ok=True)
    # Every file whose bytes are a picture format read here, whatever its name.
    sources = sorted(p for p in args.pictures.iterdir() if p.is_file() and orvessa.is_picture_file(p))

    failed = 0
    with contextlib.ExitStack() as stack:
        # A running scheduler, or two worker processes on this machine only.
        scheduler = args.scheduler or stack.enter_context(LocalCluster(
            n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
            dashboard_address=None))
        client = stack.enter_context(Client(scheduler))
        # Each result where `orvessa smooth -o RESULTS` puts it.
        futures = client.map(smooth_file, [str(p) for p in sources],
                             [orvessa.batch_output_path(args.results, p) for p in sources])
        for future in as_completed(futures):
            try:
                print(future.result())
            except (orvessa.Error, OSError) as error:  # the message names the file
                print(f"smooth_folder: {error}", file=sys.stderr)
                failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
