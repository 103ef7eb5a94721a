"""Orvessa for Python: the 3 x 3 blur and the edge-adaptive smoothing over numpy
arrays, in place and with the bytes of the ``orvessa`` tool; picture files
read and written as the tool does, or filtered file to file as it streams
them; gray conversion; unit conversion.

``orvessa.dask`` runs the filters over dask arrays of any chunking.
"""

import ast as _ast
import functools as _functools
import inspect as _inspect

from . import _orvessa, errors as _errors

# The public names, once: the functions of the extension and the errors.
__all__ = [
    *_errors.__all__,
    "__version__",
    # Each filter of the library's table over arrays, buffers and files.
    *(f"{name}{form}" for name in _orvessa.filters for form in ("", "_buffer", "_file")),
    "batch_output_path",
    "fit",
    "gray",
    "is_picture_file",
    "read_picture",
    "scale_x",
    "scale_y",
    "write_picture",
]

__version__ = _orvessa.version


def _signature_of(function):
    """The signature in the first line of a pybind11 docstring, without its
    C++-side types (the stubs carry the Python ones); None if it does not parse."""
    first_line = (function.__doc__ or "").partition("\n")[0]
    if not first_line.startswith(function.__name__ + "("):
        return None
    try:
        arguments = _ast.parse(f"def f{first_line[len(function.__name__):]}: pass").body[0].args
        kind = _inspect.Parameter
        positional = [*arguments.posonlyargs, *arguments.args]
        defaults = [None] * (len(positional) - len(arguments.defaults)) + arguments.defaults
        parameters = [
            kind(arg.arg, kind.POSITIONAL_OR_KEYWORD,
                 default=kind.empty if default is None else _ast.literal_eval(default))
            for arg, default in zip(positional, defaults)
        ] + [
            kind(arg.arg, kind.KEYWORD_ONLY,
                 default=kind.empty if default is None else _ast.literal_eval(default))
            for arg, default in zip(arguments.kwonlyargs, arguments.kw_defaults)
        ]
        return _inspect.Signature(parameters)
    except (SyntaxError, ValueError):
        return None


def _exported(name):
    """The extension's function `name` as a function of this package.

    A pybind11 function pickles as an attribute of a capsule, which cannot be
    pickled; a Python function of this module pickles by its name, so it
    goes to process pools and dask workers.
    """
    function = getattr(_orvessa, name)

    @_functools.wraps(function)
    def exported(*args, **kwargs):
        return function(*args, **kwargs)

    exported.__module__ = __name__
    exported.__qualname__ = name
    signature = _signature_of(function)
    if signature is not None:
        exported.__signature__ = signature
    return exported


def _public(name):
    if name in _errors.__all__:
        return getattr(_errors, name)
    return _exported(name)


globals().update({name: _public(name) for name in __all__ if name != "__version__"})
