// What brevik-updater --help prints, on every toolkit.
#pragma once

// Said when BREVIK_CAPTURE names a file that cannot be written (path, why).
constexpr const char* kUpdaterCaptureFailed =
    "brevik-updater: BREVIK_CAPTURE: %s cannot be written: %s\n";

constexpr const char* kUpdaterHelp =
    "usage: brevik-updater [--port PORT] [PACKAGE.bfw]\n"
    "The Brevik firmware update dialog: finds the device, checks a firmware\n"
    "package (.bfw) and flashes it. A package given here is selected as Browse\n"
    "would; Update! stays yours to press. When several devices answer, the\n"
    "dialog asks which one. --port (-p) looks on one port alone, named as for\n"
    "'brevik --port': COMn, a path, usb:SERIAL, usb-path:SOCKET or\n"
    "id:VID:PID[:SERIAL]; BREVIK_PORT and the settings file's 'port' (see\n"
    "'brevik --help') give it too. BREVIK_PORTS sets the port table;\n"
    "BREVIK_CAPTURE=FILE records the serial session for a bug report.\n"
    "With no display to show on (on Linux, neither DISPLAY nor WAYLAND_DISPLAY\n"
    "set, or one that cannot be reached) it says so and exits 1; 'brevik' does\n"
    "the same work on the command line.\n";
