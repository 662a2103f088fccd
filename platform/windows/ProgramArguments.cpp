#include "platform/ProgramArguments.h"

#include <windows.h>
// After <windows.h>:
#include <shellapi.h>

#include "platform/windows/WideText.h"

namespace platform {

ProgramArguments::ProgramArguments(int argc, char** argv) {
    int count = 0;
    if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            texts_.push_back(Utf8Text(wide[i]));
        ::LocalFree(wide);
    } else {
        texts_.assign(argv, argv + argc);
    }
    for (std::string& text : texts_)
        pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
}

}  // namespace platform
