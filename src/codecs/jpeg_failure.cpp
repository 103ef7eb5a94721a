#include "codecs/jpeg_failure.hpp"

#include <cstring>
#include <new>

#include <jerror.h>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs::jpeg_detail {
namespace {

JpegFailure& failure_of(j_common_ptr library) { return *static_cast<JpegFailure*>(library->client_data); }

void keep_text(j_common_ptr library) { (*library->err->format_message)(library, failure_of(library).message); }

[[noreturn]] void give_up(j_common_ptr library) {
    JpegFailure& failure = failure_of(library);
    failure.code = library->err->msg_code;
    keep_text(library);
    std::longjmp(failure.jump, 1);
}

// Warnings that leave the pixels as recorded (a bad ICC marker only costs
// the profile); every other one means the data is corrupt or cut short, and
// libjpeg would go on to fill the picture with made-up samples.
bool harmless(int code) noexcept {
    return code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR || code == JWRN_BOGUS_ICC;
}

void on_message(j_common_ptr library, int level) {
    if (level >= 0) return;  // tracing
    if (!harmless(library->err->msg_code)) give_up(library);
    ++library->err->num_warnings;
}

}  // namespace

jpeg_error_mgr* failure_handlers(JpegFailure& failure) {
    jpeg_error_mgr* manager = jpeg_std_error(&failure.manager);
    manager->error_exit = give_up;
    manager->emit_message = on_message;
    manager->output_message = keep_text;
    return manager;
}

void give_up_because(j_common_ptr library, const char* why) {
    JpegFailure& failure = failure_of(library);
    failure.code = -1;
    std::strncpy(failure.message, why, sizeof failure.message - 1);
    std::longjmp(failure.jump, 1);
}

void throw_failure(const JpegFailure& failure, bool reading) {
    if (failure.thrown) std::rethrow_exception(failure.thrown);
    if (failure.code == JERR_OUT_OF_MEMORY) throw std::bad_alloc();
    if (reading) throw BadPicture(failure.message);
    throw CannotWrite(failure.message);
}

}  // namespace orvessa::codecs::jpeg_detail
