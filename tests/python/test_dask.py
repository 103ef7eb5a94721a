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


def cut(sizes, length):  # chunk sizes cut down to an axis of `length`, emptied chunks kept
    return sizes if isinstance(sizes, int) else tuple(map(int, np.diff(np.minimum(np.cumsum([0, *sizes]), length))))


@pytest.mark.parametrize("filter_name", list(orvessa._orvessa.filters))
@pytest.mark.parametrize("chunks", [
    (1, -1, -1),                          # one-row chunks
    (-1, 2, -1),                          # two-column chunks
    (5, 7, 1),                            # the channels split
    ((2, 1, 3, 9, 1, 7), (1, 4, 12), (2, 1)),  # uneven, with rows shorter than the overlap
    (-1, -1, -1),
])
@pytest.mark.parametrize("shape, leading_chunks", [
    ((23, 17, 3), ()), ((1, 17, 3), ()), ((23, 1, 3), ()), ((1, 1, 3), ()), ((2, 2, 3), ()),
    ((4, 23, 17, 3), (3,)), ((2, 3, 9, 6, 3), (1, 2)),  # stacks, in blocks of several pictures
])
@pytest.mark.parametrize("threads", [0, 1, 2])
def test_any_chunking_computes_the_whole_array_result(filter_name, chunks, shape, leading_chunks, threads):
    pictures = np.stack([photo_like(seed, shape[-3:]) for seed in range(7, 7 + np.prod(shape[:-3], dtype=int))])
    want = pictures.copy()
    for one in want:                      # each picture on its own
        getattr(orvessa, filter_name)(one)
    picture = pictures.reshape(shape).copy()
    x = da.from_array(picture, chunks=leading_chunks + tuple(map(cut, chunks, shape[-3:])))

    got = getattr(orvessa.dask, filter_name)(x, threads=threads).compute(scheduler="threads")

    np.testing.assert_array_equal(got, want.reshape(shape))
    np.testing.assert_array_equal(picture, pictures.reshape(shape))  # the input stays


def test_refuses_what_is_not_a_picture():
    with pytest.raises(TypeError, match="dask array"):
        orvessa.dask.blur(np.zeros((4, 4, 3), np.uint8))
    with pytest.raises(TypeError, match="uint8"):
        orvessa.dask.blur(da.zeros((4, 4, 3), dtype=np.int16))
    with pytest.raises(ValueError, match=r"\(H, W, 3\)"):
        orvessa.dask.smooth(da.zeros((4, 4, 4), dtype=np.uint8))
    with pytest.raises(ValueError, match="threads"):
        orvessa.dask.blur(da.zeros((4, 4, 3), dtype=np.uint8), threads=-1)


def test_cluster_smooths_a_folder_as_the_tool(tmp_path):
    pictures, results = tmp_path / "in", tmp_path / "out"
    pictures.mkdir()
    for name in ["coffee.jpg", "chelsea.gif", "camera.png", "chelsea-small.bmp"]:
        shutil.copy(PICTURES / name, pictures)
    shutil.copy(PICTURES / "chelsea.ico", pictures / "icon.ico")
    (pictures / "photo.webp.bak").write_bytes((PICTURES / "coffee.jpg").read_bytes())  # a picture by its bytes
    (pictures / "cut.jpg").write_bytes((PICTURES / "coffee.jpg").read_bytes()[:3000])
    (pictures / "notes.txt").write_text("no picture")
    # Two worker processes on 127.0.0.1; the whole run is bounded.
    run = subprocess.run([sys.executable, SOURCE / "docs/examples/python/smooth_folder.py", pictures, results],
                         timeout=240, capture_output=True, text=True)
    # The broken picture is named, the others are done.
    reports = [line for line in run.stderr.splitlines() if line.startswith("smooth_folder: ")]
    assert run.returncode == 1 and len(reports) == 1 and "cut.jpg: " in reports[0]
    run_tool("smooth", "-o", tmp_path / "tool", *sorted(pictures.iterdir()), check=False)
    made = sorted((tmp_path / "tool").iterdir())
    assert [p.name for p in made] == sorted(p.name for p in results.iterdir()) and len(made) == 6
    for tool_file in made:
        assert (results / tool_file.name).read_bytes() == tool_file.read_bytes()


def test_cluster_workers_hand_back_results_and_errors(tmp_path):
    with LocalCluster(processes=True, n_workers=1, threads_per_worker=1, dashboard_address=None,
                      host="127.0.0.1") as cluster, Client(cluster) as client:
        with pytest.raises(orvessa.FileNotFound, match=r"\(error 53\)$"):
            client.submit(orvessa.read_picture, tmp_path / "missing.png").result(timeout=60)
        read = dask.delayed(orvessa.read_picture)(PICTURES / "coffee.jpg").compute(scheduler=client)
    np.testing.assert_array_equal(read, orvessa.read_picture(PICTURES / "coffee.jpg"))
