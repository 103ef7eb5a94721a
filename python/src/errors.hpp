// orvessa::Error as the package's exception (orvessa/errors.py).
#pragma once

#include <pybind11/pybind11.h>

#include "orvessa/error.hpp"

namespace orvessa::python {

// Sets the Python error for `e` and throws pybind11::error_already_set.
[[noreturn]] void raise_error(const Error& e);

}  // namespace orvessa::python
