import dask.array as da

def blur(x: da.Array) -> da.Array:
    """The 3 x 3 weighted blur of an (H, W, 3) uint8 dask array of any chunking."""

def smooth(x: da.Array) -> da.Array:
    """The edge-adaptive smoothing of an (H, W, 3) uint8 dask array of any chunking."""
