"""The filters over dask arrays: a picture of any size, in chunks of any shape,
filtered block by block (on threads, processes or a dask.distributed
cluster) into exactly the bytes of the whole-array filter.

Each block is filtered on its own, extended by its neighbours' pixels. The
filters change rows 1..H-3 and columns 1..W-2 of what they are given, each
pixel from its 3 x 3 neighbourhood, and keep the rest: one row at the top,
two at the bottom, one column at either side. Extending a block by exactly
those margins makes the kept margins the neighbours' pixels, so every pixel
of the block proper is filtered, from the same neighbourhood as in the
whole array. Where a block meets the edge of the picture it is not extended
(boundary "none"), so the picture's own margins stay as they were.
"""

from __future__ import annotations

import dask.array as da
import numpy as np

from . import _orvessa

# Rows kept at the top and the bottom, columns kept at either side, by both filters.
_KEPT_MARGINS = {0: (1, 2), 1: (1, 1), 2: 0}


def _filtered_block(block: np.ndarray, filter_name: str) -> np.ndarray:
    # A copy: a block may be the caller's own array, or shared by other tasks.
    out = np.array(block, dtype=np.uint8, order="C", copy=True)
    getattr(_orvessa, filter_name)(out)
    return out


def _filter(x: da.Array, filter_name: str) -> da.Array:
    if not isinstance(x, da.Array):
        raise TypeError(f"expected a dask array of dtype uint8 and shape (H, W, 3), got {type(x).__name__}")
    if x.dtype != np.uint8:
        raise TypeError(f"expected dtype uint8, got {x.dtype}")
    if x.ndim != 3 or x.shape[2] != 3:
        raise ValueError(f"expected shape (H, W, 3), got {x.shape}")
    # The three channels of a pixel belong together.
    x = x.rechunk({2: -1})
    return x.map_overlap(
        _filtered_block,
        depth=_KEPT_MARGINS,
        boundary="none",
        dtype=np.uint8,
        meta=np.empty((0, 0, 0), dtype=np.uint8),
        filter_name=filter_name,
    )


def _dask_filter(name: str):
    def filtered(x: da.Array) -> da.Array:
        return _filter(x, name)

    filtered.__name__ = filtered.__qualname__ = name
    filtered.__doc__ = f"""The filter ``orvessa.{name}`` over a dask array (H, W, 3) of uint8, any chunking.

    Returns a new dask array that computes to what ``orvessa.{name}`` makes of
    the whole array; ``x`` is not changed.
    """
    return filtered


# Each filter of the library's table.
__all__ = list(_orvessa.filters)
globals().update({name: _dask_filter(name) for name in __all__})
