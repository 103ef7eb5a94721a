// Picture files as inputs: opened without waiting on a FIFO or a device,
// and told from other files by their first bytes.
#pragma once

#include <string>

#include "platform/linux/unique_fd.hpp"

namespace orvessa::platform {

// Opens a regular file for reading without blocking on a FIFO or device.
// Raises Error::platform: file not found (53), path/file access error (75).
UniqueFd open_picture_file(const std::string& path);
// Whether the first bytes on `fd` are those of a format read here.
bool holds_picture_format(int fd);

}  // namespace orvessa::platform
