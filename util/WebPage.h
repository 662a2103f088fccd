// Opening a web address in the user's browser, directly or through a small
// local page that redirects to it.
#pragma once

#include <cstddef>

// The redirect page's text for url: at most 499 characters, so URLs of up
// to 324 characters fit and longer ones are cut at the page's end. Lines end
// in "\n". Returns the length written.
size_t FormatRedirectPage(char* destination, size_t capacity, const char* url);

// With neither owner nor directory: asks the shell to open url and returns
// the shell's result. Otherwise writes the redirect page as directory +
// "temp.htm" (directory ends with its separator), has the shell open it,
// waits 500 ms and removes the page; returns 1 when the page was removed.
// The page is written only as a new file: a name that is taken (a file
// that is not ours, a link someone planted) gives 0 and is left alone, as
// does an owner without a directory.
int LaunchWebPage(const void* owner, const char* url, const char* directory);
