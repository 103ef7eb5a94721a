// Pictava over the platform of the build: built into each platform library,
// beside the default_platform() it calls, so that the core links alone.
#include "orvessa/pictava.hpp"
#include "platform/platform.hpp"

namespace orvessa {

Pictava::Pictava() : Pictava(&default_platform()) {}

}  // namespace orvessa
