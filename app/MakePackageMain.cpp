// brevik-mkpackage: writes a firmware package (.bfw) for tests and demos.
//   brevik-mkpackage OUT.bfw MAJOR.MINOR.LETTER [BODY-BYTES]
// The body carries an image stamp with the version, which the virtual
// device adopts when the package is flashed into it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/HelpAndVersion.h"
#include "package/PackageBuilder.h"
#include "package/PackageFormat.h"

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "brevik-mkpackage",
                            "usage: brevik-mkpackage OUT.bfw MAJOR.MINOR.LETTER [BODY-BYTES]\n"
                            "Writes a valid firmware package; the body (16384 bytes unless given,\n"
                            "1 to 65536) carries an image stamp with the version.\n"))
        return 0;
    unsigned major = 0, minor = 0;
    char letter = 0, extra = 0;
    if (argc < 3 || argc > 4 ||
        std::sscanf(argv[2], "%u.%u.%c%c", &major, &minor, &letter, &extra) != 3 || major > 255 ||
        minor > 255) {
        std::fprintf(stderr, "usage: brevik-mkpackage OUT.bfw MAJOR.MINOR.LETTER [BODY-BYTES]\n");
        return 2;
    }
    long body = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 16384;
    if (body < 1 || body > static_cast<long>(kMaxPackageBody)) {
        std::fprintf(stderr, "brevik-mkpackage: the body must hold 1 to %zu bytes\n",
                     kMaxPackageBody);
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
