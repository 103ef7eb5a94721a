#include "errors.hpp"

namespace py = pybind11;

namespace orvessa::python {

void raise_error(const Error& e) {
    const py::object error =
        py::module_::import("orvessa.errors").attr("error_for")(e.number(), e.description());
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
    throw py::error_already_set();
}

}  // namespace orvessa::python
