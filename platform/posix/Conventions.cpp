#include "platform/Conventions.h"

namespace platform {

const char kPathListSeparator = ':';
const char kPathSeparator = '/';
const char kTextLineEnd[] = "\n";
const bool kHasPseudoTerminals = true;

}  // namespace platform
