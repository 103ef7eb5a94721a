import dask.array as da

def blur(x: da.Array, *, threads: int = 1) -> da.Array:
    """The 3 x 3 weighted blur of an (H, W, 3) uint8 dask array, or of each picture of a
    stack (..., H, W, 3), any chunking; ``threads`` per block (0: every core)."""

def smooth(x: da.Array, *, threads: int = 1) -> da.Array:
    """The edge-adaptive smoothing of an (H, W, 3) uint8 dask array, or of each picture of a
    stack (..., H, W, 3), any chunking; ``threads`` per block (0: every core)."""
