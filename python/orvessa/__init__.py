"""Orvessa for Python: the 3 x 3 blur and the edge-adaptive smoothing over numpy
arrays, in place and with the bytes of the ``orvessa`` tool; picture files
read and written as the tool does, or filtered file to file as it streams
them; gray conversion; unit conversion.

``orvessa.dask`` runs the filters over dask arrays of any chunking.
"""

from ._orvessa import (
    blur,
    blur_buffer,
    blur_file,
    fit,
    gray,
    read_picture,
    scale_x,
    scale_y,
    smooth,
    smooth_buffer,
    smooth_file,
    version as __version__,
    write_picture,
)
from .errors import Error, FileNotFound, OutOfMemory, Overflow, SubscriptOutOfRange

__all__ = [
    "Error",
    "FileNotFound",
    "OutOfMemory",
    "Overflow",
    "SubscriptOutOfRange",
    "__version__",
    "blur",
    "blur_buffer",
    "blur_file",
    "fit",
    "gray",
    "read_picture",
    "scale_x",
    "scale_y",
    "smooth",
    "smooth_buffer",
    "smooth_file",
    "write_picture",
]
