from os import PathLike
from typing import Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

from .errors import Error as Error
from .errors import FileAccessError as FileAccessError
from .errors import FileNotFound as FileNotFound
from .errors import InvalidPicture as InvalidPicture
from .errors import OutOfMemory as OutOfMemory
from .errors import Overflow as Overflow
from .errors import SubscriptOutOfRange as SubscriptOutOfRange

_Path = Union[str, bytes, PathLike[str], PathLike[bytes]]
_Picture = npt.NDArray[np.uint8]
_Bytes = Union[bytearray, memoryview, npt.NDArray[np.uint8]]

__version__: str

def blur(image: _Picture, *, threads: int = 1) -> _Picture:
    """Blurs an (H, W, 3) uint8 array in place (3 x 3, 1 2 1 / 2 4 2 / 1 2 1 over 16); returns it.
    threads=0: every core the process may use."""

def smooth(image: _Picture, *, threads: int = 1) -> _Picture:
    """Smooths an (H, W, 3) uint8 array in place (edge-adaptive); returns it.
    threads=0: every core the process may use."""

def blur_buffer(buffer: _Bytes, width: int, height: int, *, lower_bound: int = 0) -> None:
    """Blur_Buffer over a writable 24-bit pixel buffer; raises orvessa.Error."""

def smooth_buffer(buffer: _Bytes, width: int, height: int, *, lower_bound: int = 0) -> None:
    """MedianCut_Buffer over a writable 24-bit pixel buffer; raises orvessa.Error."""

def is_picture_file(path: _Path) -> bool:
    """True when the file's first bytes are those of a picture format read here."""

def read_picture(path: _Path, *, max_pixels: int = ..., orient: bool = True) -> _Picture:
    """A picture file as an (H, W, 3) uint8 array of R G B, top row first, upright unless orient=False."""

def write_picture(path: _Path, image: _Picture, *, quality: Optional[int] = None) -> None:
    """Writes an (H, W, 3) uint8 array as the orvessa tool writes pictures (format by extension)."""

def blur_file(
    source: _Path, target: _Path, *, quality: Optional[int] = None, max_pixels: int = ..., threads: int = 0
) -> None:
    """`orvessa blur SOURCE TARGET` in this process, streaming; the tool's bytes; TARGET replaced whole, may be SOURCE.
    threads=0: every core the process may use."""

def smooth_file(
    source: _Path, target: _Path, *, quality: Optional[int] = None, max_pixels: int = ..., threads: int = 0
) -> None:
    """`orvessa smooth SOURCE TARGET` in this process, streaming; the tool's bytes; TARGET replaced whole, may be SOURCE.
    threads=0: every core the process may use."""

def batch_output_path(out_dir: _Path, source: _Path) -> str:
    """The file `orvessa blur -o OUT_DIR SOURCE` writes: OUT_DIR/<SOURCE's name>, PNG unless the tool writes its format."""

def gray(
    path: _Path,
    *,
    two_color: bool = False,
    threshold: int = 128,
    fit: Optional[Tuple[int, int]] = None,
) -> _Picture:
    """The picture ColorToBN paints, as `orvessa gray` saves it."""

def scale_x(himetric: float, dpi: int = 96) -> int:
    """ScaleX: a HIMETRIC length in whole pixels."""

def scale_y(himetric: float, dpi: int = 96) -> int:
    """ScaleY: a HIMETRIC length in whole pixels."""

def fit(box_width: int, box_height: int, picture_width: int, picture_height: int) -> Tuple[int, int, int, int]:
    """FitToBox: (left, top, width, height) of the picture fitted and centred in the box."""
