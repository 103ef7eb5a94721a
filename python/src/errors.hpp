// orvessa::Error as the package's exception (orvessa/errors.py): the one
// translator of every error the library raises.
#pragma once

#include <pybind11/pybind11.h>

namespace orvessa::python {

// Installs the translator: Error becomes orvessa.errors.error_for(number,
// description, errno, filename), an OSError too where the system said why.
void register_errors();

}  // namespace orvessa::python
