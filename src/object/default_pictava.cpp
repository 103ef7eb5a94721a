// Pictava over the platform of the build, in a file of its own: a program
// that links the core without a platform and never asks for it links.
#include "orvessa/pictava.hpp"
#include "platform/platform.hpp"

namespace orvessa {

Pictava::Pictava() : Pictava(&default_platform()) {}

}  // namespace orvessa
