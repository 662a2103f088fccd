// Text that came from outside the program (device replies, USB descriptor
// strings, file and process names) on its way to a person: made printable
// for a terminal. (JSON documents are made valid where they are written, by
// the JSON library's replacement of bytes that are not UTF-8.)
#pragma once

#include <string>
#include <string_view>

// Printable characters of valid UTF-8 stay as they are; every other byte
// (control characters, escape sequences, DEL, C1 controls, bytes that are not
// UTF-8) becomes "\xNN", so nothing can move the cursor, retitle the
// terminal or hide what follows.
std::string PrintableText(std::string_view text);
