#include "platform/Shell.h"

#include "platform/Utf.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <linux/close_range.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

// The handler is looked up here rather than by execvp in the child, so a missing
// handler is reported to the caller instead of vanishing in a detached process.
// Empty PATH entries (the current folder) are not searched.
std::string FindOnPath(const char* program)
{
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!rest.empty()) {
        std::size_t colon = rest.find(':');
        std::string_view folder = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (folder.empty())
            continue;
        std::string candidate = std::string(folder) + "/" + program;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

void WriteErrno(int fd, int error)
{
    ssize_t ignored = write(fd, &error, sizeof error);
    (void)ignored;
}

// Runs in the grandchild, after fork in a possibly threaded process: only
// async-signal-safe calls from here to execve.
[[noreturn]] void ExecDetached(const char* file, char* const argv[], int reportFd)
{
    int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0 || dup2(devNull, 0) < 0 || dup2(devNull, 1) < 0 || dup2(devNull, 2) < 0) {
        WriteErrno(reportFd, errno);
        _exit(127);
    }
    if (reportFd > 3)
        syscall(SYS_close_range, 3u, static_cast<unsigned>(reportFd - 1), 0u);
    syscall(SYS_close_range, static_cast<unsigned>(reportFd + 1), ~0u, 0u);
    struct sigaction dflt {};
    dflt.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dflt, nullptr);
    sigaction(SIGCHLD, &dflt, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(file, argv, environ);
    WriteErrno(reportFd, errno);
    _exit(127);
}

} // namespace

bool OpenAddress(const std::u16string& address)
{
    try {
        if (address.empty())
            return false;
        std::string handler = FindOnPath("xdg-open");
        if (handler.empty())
            return false;
        std::string argument = ToUtf8(address);
        char name[] = "xdg-open";
        char* argv[] = {name, argument.data(), nullptr};

        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return false;
        // Kept above the standard descriptors so the redirection cannot hit it.
        int reportFd = fcntl(fds[1], F_DUPFD_CLOEXEC, 3);
        close(fds[1]);
        if (reportFd < 0) {
            close(fds[0]);
            return false;
        }

        // Two forks: the handler is adopted by init and never becomes a zombie
        // of ours, and setsid keeps it alive when our terminal goes away.
        pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            if (setsid() < 0) {
                WriteErrno(reportFd, errno);
                _exit(127);
            }
            pid_t grandchild = fork();
            if (grandchild < 0) {
                WriteErrno(reportFd, errno);
                _exit(127);
            }
            if (grandchild == 0)
                ExecDetached(handler.c_str(), argv, reportFd);
            _exit(0);
        }
        close(reportFd);
        if (child < 0) {
            close(fds[0]);
            return false;
        }
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }

        // The pipe closes without data once execve has succeeded.
        int error = 0;
        ssize_t got;
        do {
            got = read(fds[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
        close(fds[0]);
        return got == 0;
    } catch (...) {
        return false;
    }
}

} // namespace platform
