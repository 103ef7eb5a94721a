// How libjpeg's failures reach C++. libjpeg gives up by calling error_exit,
// which must not return: ours longjmps back into attempt(), the only place a
// jump lands, and the codec throws once the library's frames are gone. All of
// it is kept per codec object, so one file's message never shows in another's.
#pragma once

#include <csetjmp>
#include <cstdio>  // jpeglib.h uses FILE and size_t without including them
#include <exception>

#include <jpeglib.h>

namespace orvessa::codecs::jpeg_detail {

// A codec's context derives from this and sets the library struct's
// client_data to it (as a JpegFailure*), so that the handlers find it.
struct JpegFailure {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
    std::exception_ptr thrown;  // by our source or sink inside a callback
    int code = 0;               // libjpeg's message code; -1: a reason of ours
    char message[JMSG_LENGTH_MAX] = {};
    bool failed = false;
};

// The handlers to set as the library struct's err before jpeg_create_*:
// errors, and warnings of corrupt data, jump back; nothing is printed.
jpeg_error_mgr* failure_handlers(JpegFailure& failure);

// For our own callbacks (the exception, if any, already kept in `thrown`).
[[noreturn]] void give_up_because(j_common_ptr library, const char* why);

// Runs `step`, which calls into libjpeg; false when the library gave up.
// Nothing with a destructor may live in this frame or in `step`'s: the
// longjmp skips them. Compilers do not inline a function that calls setjmp.
template <class Context>
bool attempt(Context& context, void (*step)(Context&)) {
    if (setjmp(context.jump) != 0) {
        context.failed = true;
        return false;
    }
    step(context);
    return true;
}

// The kept exception, std::bad_alloc, else BadPicture (reading) or
// CannotWrite (writing) with the library's text.
[[noreturn]] void throw_failure(const JpegFailure& failure, bool reading);

}  // namespace orvessa::codecs::jpeg_detail
