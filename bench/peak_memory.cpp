// Runs a command and writes its peak resident memory in KiB (the largest of the command and of
// the children it waited for, as /usr/bin/time %M reports it) to the file named first:
//   peak_memory OUTFILE COMMAND [ARGS...]
// A program of its own, so that the figure starts from this small process and not from the
// benchmark's Python, whose memory a forked child would count as its own.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: peak_memory OUTFILE COMMAND [ARGS...]\n");
        return 2;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[2], argv + 2);
        std::perror("peak_memory: cannot run the command");
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child) {
        std::perror("peak_memory");
        return 2;
    }
    if (FILE* out = std::fopen(argv[1], "w")) {
        std::fprintf(out, "%ld\n", usage.ru_maxrss);
        std::fclose(out);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
