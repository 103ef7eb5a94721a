"""The errors that orvessa raises: the automation error numbers of the library.

Every error of a method is an :class:`Error` whose ``number`` is the
automation error number; the numbered errors that Python knows under its own
names are also those built-in exceptions, so ``except MemoryError`` still
catches running out of memory inside a filter.
"""

from __future__ import annotations


class Error(Exception):
    """An error raised by an orvessa method; ``number`` is its automation error number."""

    def __init__(self, number: int, description: str) -> None:
        super().__init__(f"{description} (error {number})")
        self.number = number
        self.description = description


class Overflow(Error, OverflowError):
    """Error 6: a size or an index computation left its integer range."""


class OutOfMemory(Error, MemoryError):
    """Error 7: a working array could not be had (or a picture is too large)."""


class SubscriptOutOfRange(Error, IndexError):
    """Error 9: the buffer is too short for the picture, or not one-dimensional."""


class FileNotFound(Error, FileNotFoundError):
    """Error 53: the picture file does not exist."""


_BY_NUMBER = {6: Overflow, 7: OutOfMemory, 9: SubscriptOutOfRange, 53: FileNotFound}


def error_for(number: int, description: str) -> Error:
    """The exception for an automation error number and its description."""
    return _BY_NUMBER.get(number, Error)(number, description)
