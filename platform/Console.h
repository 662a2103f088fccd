// Console helpers for command-line programs: whether a stream is a
// terminal, Ctrl+C turned into a flag for as long as a guard lives, and the
// signals that would end the program held off while work runs that must not
// stop half way.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

namespace platform {

bool IsTerminal(std::FILE* stream);

// The width of the terminal the stream writes to, in columns; 0 when it is
// no terminal or does not say.
int TerminalColumns(std::FILE* stream);

// While it lives, Ctrl+C (SIGINT) sets *flag to 1 instead of ending the
// program; the previous handling comes back when it goes. One at a time.
// While a StopAsInterrupt lives too, SIGTERM and SIGHUP do the same.
class InterruptGuard {
  public:
    explicit InterruptGuard(std::atomic<int32_t>* flag);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // The first SIGTERM or SIGHUP taken as Ctrl+C (its POSIX number), 0
    // when none came: the program then ends with 128 and that number.
    int StopSignal() const;
};

// While one lives, SIGTERM and SIGHUP (the terminal closed) end the work as
// Ctrl+C does, between packets, so that what it changed outside the program
// (a bridge's latency timer, the driver's low-latency mode) is put back;
// without one (or without an InterruptGuard) they end the program at once.
// Nests; any thread. On Windows a console close or logoff is the system's to
// end: nothing there is changed that would need putting back.
class StopAsInterrupt {
  public:
    StopAsInterrupt();
    ~StopAsInterrupt();
    StopAsInterrupt(const StopAsInterrupt&) = delete;
    StopAsInterrupt& operator=(const StopAsInterrupt&) = delete;
};

// While it lives, nothing from outside ends the program: a firmware upload
// stopped half way can leave the device without firmware. Ctrl+C (SIGINT),
// SIGTERM and SIGHUP (the terminal closed) are noted, the first one kept,
// and `notice` goes once to standard error; SIGPIPE is ignored, so an output
// that went away makes its writes fail instead of ending the program. The
// caller ends with HeldExitCode() once its work is done and reported.
// On Windows, Ctrl+C and Ctrl+Break are noted the same way; a console close,
// logoff or shutdown is noted and its handler waits for the hold to end, but
// the system ends the process when its own limit runs out (about 5 s after
// a close, 5 to 20 s after a logoff or shutdown), whatever the program does.
// One at a time, for the whole process (every thread).
class StopSignalHold {
  public:
    explicit StopSignalHold(const char* notice);
    ~StopSignalHold();
    StopSignalHold(const StopSignalHold&) = delete;
    StopSignalHold& operator=(const StopSignalHold&) = delete;

    // The first signal held (its POSIX number: 2, 15 or 1), 0 when none came.
    int HeldSignal() const;
    // 128 and the signal's number, as a shell reports a program it ended;
    // 0 when no signal came.
    int HeldExitCode() const {
        const int number = HeldSignal();
        return number == 0 ? 0 : 128 + number;
    }
};

}  // namespace platform
