// The COM boundary for errors: a method body runs inside `guarded`, which
// turns every C++ exception into the failure HRESULT and sets the thread's
// error information (description, and the ProgID as its source). No exception
// leaves the server.
#pragma once

#include <windows.h>

#include <new>
#include <string>

#include "orvessa/error.hpp"
#include "server/server_module.hpp"

namespace orvessa::server {

HRESULT report_error(HRESULT hr, const std::string& description) noexcept;

template <class Body>
HRESULT guarded(Body&& body) noexcept {
    try {
        body();
        return S_OK;
    } catch (const Error& e) {
        return report_error(e.hresult(), e.description());
    } catch (const std::bad_alloc&) {
        const Error e = Error::out_of_memory();
        return report_error(e.hresult(), e.description());
    } catch (...) {
        return report_error(E_UNEXPECTED, "Unexpected failure");
    }
}

}  // namespace orvessa::server
