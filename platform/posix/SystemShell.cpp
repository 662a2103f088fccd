#include "platform/SystemShell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

// xdg-open hands the target to the desktop's own choice and returns; it is
// waited for so that no child is left behind.
int SystemShellOpen(const char* target, const char* directory, const void*) {
    if (target == nullptr)
        return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (directory != nullptr && directory[0] != '\0')
        posix_spawn_file_actions_addchdir_np(&actions, directory);
    char program[] = "xdg-open";
    char* argv[] = {program, const_cast<char*>(target), nullptr};
    pid_t child = 0;
    const int rc = ::posix_spawnp(&child, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return 0;
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 33 : 0;
}

}  // namespace platform
