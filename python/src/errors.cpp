#include "errors.hpp"

#include "orvessa/error.hpp"

namespace py = pybind11;

namespace orvessa::python {

void register_errors() {
    py::register_exception_translator([](std::exception_ptr raised) {
        try {
            if (raised) std::rethrow_exception(raised);
        } catch (const Error& e) {
            const py::object path =
                e.path().empty() ? py::none() : py::module_::import("os").attr("fsdecode")(py::bytes(e.path()));
            const py::object error = py::module_::import("orvessa.errors")
                                         .attr("error_for")(e.number(), e.description(), e.system_error(), path);
            PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
        }
    });
}

}  // namespace orvessa::python
