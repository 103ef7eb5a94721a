"""The errors that orvessa raises: the automation error numbers of the library.

Every error of a method is an :class:`Error` whose ``number`` is the
automation error number; the numbered errors that Python knows under its own
names are also those built-in exceptions, so ``except MemoryError`` still
catches running out of memory inside a filter. An error that comes from a
failed system call is also an :class:`OSError` with its ``errno``,
``strerror`` and ``filename``.

The errors pickle and copy as themselves, so they reach the caller whole
from a process pool or a dask cluster.
"""

from __future__ import annotations

import os

__all__ = [
    "Error",
    "FileAccessError",
    "FileNotFound",
    "InvalidPicture",
    "OutOfMemory",
    "Overflow",
    "SubscriptOutOfRange",
]


class Error(Exception):
    """An error raised by an orvessa method; ``number`` is its automation error number.

    ``errno`` and ``filename``, when given, are set as :class:`OSError` sets
    them (with ``strerror`` from ``errno``); ``str()`` is the description
    followed by the number.
    """

    def __init__(self, number: int, description: str, errno: int = 0, filename: str | None = None) -> None:
        super().__init__(f"{description} (error {number})")
        self.number = number
        self.description = description
        if errno:
            self.errno = errno
            self.strerror = os.strerror(errno)
        if filename is not None:
            self.filename = filename

    def __str__(self) -> str:
        # OSError's own form ("[Errno 2] ...") would hide the number.
        return f"{self.description} (error {self.number})"

    def __reduce__(self):
        # The default rebuilds from args, the one formatted message, which
        # __init__ cannot take back; an error that fails to unpickle leaves a
        # process pool waiting for good.
        state = {k: v for k, v in self.__dict__.items()
                 if k not in ("number", "description", "errno", "strerror", "filename")}
        arguments = (self.number, self.description, getattr(self, "errno", None) or 0,
                     getattr(self, "filename", None))
        return type(self), arguments, state or None


class Overflow(Error, OverflowError):
    """Error 6: a size or an index computation left its integer range."""


class OutOfMemory(Error, MemoryError):
    """Error 7: a working array could not be had (or a picture is too large)."""


class SubscriptOutOfRange(Error, IndexError):
    """Error 9: the buffer is too short for the picture, or not one-dimensional."""


class FileNotFound(Error, FileNotFoundError):
    """Error 53: the picture file does not exist."""


class FileAccessError(Error, OSError):
    """Error 75: a file exists but cannot be read or written (a folder, no permission, an I/O error)."""


class InvalidPicture(Error, ValueError):
    """Error 481: the file is not a picture read here, or it is corrupt or truncated."""


_BY_NUMBER = {
    6: Overflow,
    7: OutOfMemory,
    9: SubscriptOutOfRange,
    53: FileNotFound,
    75: FileAccessError,
    481: InvalidPicture,
}


def error_for(number: int, description: str, errno: int = 0, filename: str | None = None) -> Error:
    """The exception for an automation error number and its description.

    A non-zero ``errno`` says a system call failed: the error is then an
    OSError, FileAccessError unless the number's own class is one already.
    """
    kind = _BY_NUMBER.get(number, Error)
    if errno and not issubclass(kind, OSError):
        kind = FileAccessError
    return kind(number, description, errno, filename)
