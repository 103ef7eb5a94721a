"""The filters over dask arrays: every chunking computes to the whole-array
result, and a cluster of worker processes smooths a folder as the tool does."""

import shutil
import subprocess
import sys

import dask
import dask.array as da
import numpy as np
import pytest
from conftest import PICTURES, SOURCE, photo_like, run_tool
from distributed import Client, LocalCluster

import orvessa
import orvessa.dask


@pytest.mark.parametrize("filter_name", ["blur", "smooth"])
@pytest.mark.parametrize("chunks", [
    (1, -1, -1),                          # one-row chunks
    (-1, 2, -1),                          # two-column chunks
    (5, 7, 1),                            # the channels split
    ((2, 1, 3, 9, 1, 7), (1, 4, 12), (2, 1)),  # uneven, with rows shorter than the overlap
    (-1, -1, -1),
])
def test_any_chunking_computes_the_whole_array_result(filter_name, chunks):
    picture = photo_like(7, (23, 17, 3))
    want = getattr(orvessa, filter_name)(picture.copy())
    x = da.from_array(picture, chunks=chunks)

    got = getattr(orvessa.dask, filter_name)(x).compute(scheduler="threads")

    np.testing.assert_array_equal(got, want)
    np.testing.assert_array_equal(picture, photo_like(7, (23, 17, 3)))  # the input stays


def test_refuses_what_is_not_a_picture():
    with pytest.raises(TypeError, match="dask array"):
        orvessa.dask.blur(np.zeros((4, 4, 3), np.uint8))
    with pytest.raises(TypeError, match="uint8"):
        orvessa.dask.blur(da.zeros((4, 4, 3), dtype=np.int16))
    with pytest.raises(ValueError, match=r"\(H, W, 3\)"):
        orvessa.dask.smooth(da.zeros((4, 4, 4), dtype=np.uint8))


def test_cluster_smooths_a_folder_as_the_tool(tmp_path):
    pictures, results = tmp_path / "in", tmp_path / "out"
    pictures.mkdir()
    for name in ["coffee.jpg", "chelsea.gif", "camera.png", "chelsea-small.bmp"]:
        shutil.copy(PICTURES / name, pictures)
    # Two worker processes on 127.0.0.1; the whole run is bounded.
    subprocess.run([sys.executable, SOURCE / "docs/examples/python/smooth_folder.py", pictures, results],
                   check=True, timeout=240, capture_output=True)
    for source in sorted(pictures.iterdir()):
        run_tool("smooth", "--force", source, tmp_path / "tool.png")
        assert (results / f"{source.name}.png").read_bytes() == (tmp_path / "tool.png").read_bytes()


def test_cluster_workers_hand_back_results_and_errors(tmp_path):
    with LocalCluster(processes=True, n_workers=1, threads_per_worker=1, dashboard_address=None,
                      host="127.0.0.1") as cluster, Client(cluster) as client:
        with pytest.raises(orvessa.FileNotFound, match=r"\(error 53\)$"):
            client.submit(orvessa.read_picture, tmp_path / "missing.png").result(timeout=60)
        read = dask.delayed(orvessa.read_picture)(PICTURES / "coffee.jpg").compute(scheduler=client)
    np.testing.assert_array_equal(read, orvessa.read_picture(PICTURES / "coffee.jpg"))
