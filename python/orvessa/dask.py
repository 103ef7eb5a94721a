"""The filters over dask arrays: a picture, or a stack of pictures, of any
size, in chunks of any shape, filtered block by block (on threads, processes
or a dask.distributed cluster) into exactly the bytes of the whole-array
filter.

Each block is filtered on its own, extended by its neighbours' pixels. A
filter changes each pixel from its 3 x 3 neighbourhood and keeps its border
(``_orvessa.borders``: rows at the top and the bottom, columns at the left
and the right). Extending a block by exactly those margins makes
the kept margins the neighbours' pixels, so every pixel
of the block proper is filtered, from the same neighbourhood as in the
whole array. Where a block meets the edge of the picture it is not extended
(boundary "none"), so the picture's own margins stay as they were. The
pictures of a stack are apart: no overlap along the leading axes.
"""

from __future__ import annotations

import math
import operator

import dask.array as da
import numpy as np

from . import _orvessa


def _kept_margins(filter_name: str) -> dict[int, tuple[int, int]]:
    """The rows and the columns the filter keeps, by axis counted from the
    end, as a stack's leading axes come first."""
    top, bottom, left, right = _orvessa.borders[filter_name]
    return {-3: (top, bottom), -2: (left, right)}


def _filtered_block(block: np.ndarray, filter_name: str, threads: int) -> np.ndarray:
    # A copy: a block may be the caller's own array, or shared by other tasks.
    out = np.array(block, dtype=np.uint8, order="C", copy=True)
    for picture in out.reshape(math.prod(out.shape[:-3]), *out.shape[-3:]):
        getattr(_orvessa, filter_name)(picture, threads=threads)
    return out


def _filter(x: da.Array, filter_name: str, threads: int) -> da.Array:
    # The filters' own checks, made here so that a graph is never built to fail.
    _orvessa._check_picture_array(x, da.Array, "dask array")
    threads = operator.index(threads)
    _orvessa._check_threads(threads)
    # The three channels of a pixel belong together.
    whole, depth = {x.ndim - 1}, {}
    for axis, margins in _kept_margins(filter_name).items():
        axis %= x.ndim
        if x.shape[axis] < max(margins):
            # dask refuses an axis shorter than its overlap. Taken whole (one
            # chunk), it needs none: every block then holds that axis end to
            # end, as the whole-array filter does, so the bytes are the same.
            whole.add(axis)
        else:
            depth[axis] = margins
    x = x.rechunk({axis: -1 for axis in whole})
    return x.map_overlap(
        _filtered_block,
        depth=depth,
        boundary="none",
        dtype=np.uint8,
        meta=np.empty((0,) * x.ndim, dtype=np.uint8),
        filter_name=filter_name,
        threads=threads,
    )


def _dask_filter(name: str):
    def filtered(x: da.Array, *, threads: int = 1) -> da.Array:
        return _filter(x, name, threads)

    filtered.__name__ = filtered.__qualname__ = name
    filtered.__doc__ = f"""The filter ``orvessa.{name}`` over a dask array (H, W, 3) of uint8, or a
    stack (..., H, W, 3) of such pictures, any chunking.

    Returns a new dask array that computes to what ``orvessa.{name}`` makes of
    the whole array (of each picture of a stack); ``x`` is not changed.
    ``threads``: the threads that ``orvessa.{name}`` shares each block's rows
    between (0: every core of the worker's process).
    """
    return filtered


# Each filter of the library's table.
__all__ = list(_orvessa.filters)
globals().update({name: _dask_filter(name) for name in __all__})
