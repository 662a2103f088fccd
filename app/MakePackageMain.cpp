// brevik-mkpackage: writes a firmware package (.bfw) for tests and demos.
//   brevik-mkpackage OUT.bfw MAJOR.MINOR.LETTER [BODY-BYTES]
// The body carries an image stamp with the version, which the virtual
// device adopts when the package is flashed into it.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/HelpAndVersion.h"
#include "package/PackageBuilder.h"
#include "package/PackageFormat.h"
#include "platform/ProgramArguments.h"

int main(int argc, char** argv) {
    platform::ProgramArguments arguments(argc, argv);
    argc = arguments.Count();
    argv = arguments.Values();
    constexpr const char* kUsage =
        "usage: brevik-mkpackage OUT.bfw MAJOR.MINOR.LETTER [BODY-BYTES]\n";
    if (AnswerHelpOrVersion(
            argc, argv, "brevik-mkpackage",
            (std::string(kUsage) +
             "Writes a valid firmware package; the body (16384 bytes unless given,\n"
             "1 to 65536) carries an image stamp with the version.\n")
                .c_str()))
        return 0;
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "brevik-mkpackage: %s\n%s",
                     argc < 3 ? "an output file and a version are needed" : "one argument too many",
                     kUsage);
        return 2;
    }
    unsigned major = 0, minor = 0;
    char letter = 0, extra = 0;
    if (std::sscanf(argv[2], "%3u.%3u.%c%c", &major, &minor, &letter, &extra) != 3 || major > 255 ||
        minor > 255 || !std::isalnum(static_cast<unsigned char>(letter)) ||
        !std::isdigit(static_cast<unsigned char>(argv[2][0]))) {
        std::fprintf(stderr,
                     "brevik-mkpackage: the version '%s' is not MAJOR.MINOR.LETTER (numbers 0 "
                     "to 255, then one letter, as 2.12.Q)\n",
                     argv[2]);
        return 2;
    }
    long body = 16384;
    if (argc == 4) {
        const std::string count = argv[3];
        body = !count.empty() && count.size() <= 6 &&
                       count.find_first_not_of("0123456789") == std::string::npos
                   ? std::strtol(count.c_str(), nullptr, 10)
                   : 0;
    }
    if (body < 1 || body > static_cast<long>(kMaxPackageBody)) {
        std::fprintf(stderr,
                     "brevik-mkpackage: the body size '%s' is not a byte count from 1 to %zu\n",
                     argv[3], kMaxPackageBody);
        return 2;
    }
    const auto payload =
        MakeFirmwarePayload(static_cast<size_t>(body - 1), static_cast<uint8_t>(major),
                            static_cast<uint8_t>(minor), letter);
    if (!WritePackageFile(argv[1], BuildPackage(payload, static_cast<uint8_t>(major),
                                                static_cast<uint8_t>(minor), letter))) {
        std::fprintf(stderr, "brevik-mkpackage: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
