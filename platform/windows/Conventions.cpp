#include "platform/Conventions.h"

namespace platform {

const char kPathListSeparator = ';';
const char kPathSeparator = '\\';
const char kTextLineEnd[] = "\r\n";
const bool kHasPseudoTerminals = false;

}  // namespace platform
