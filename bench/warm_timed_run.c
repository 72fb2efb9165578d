/* Runs one command for bench/filesystems.sh and tells how long it took, in a
 * state that every command of the comparison meets alike: the dirty pages of
 * earlier work written out first, so that no run pays for another's writes,
 * and the memory the command may take for its output warm.
 *
 * Usage: warm_timed_run WARM_BYTES SECONDS_FILE COMMAND [ARGS...]
 * Writes the wall time of COMMAND in seconds to SECONDS_FILE and exits with
 * COMMAND's status (128 + the signal's number when a signal ended it).
 */
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int fail(const char* what)
{
    fprintf(stderr, "warm_timed_run: %s: %s\n", what, strerror(errno));
    return 125;
}

/* Touches `bytes` of fresh memory and gives it back. A virtual machine hands
 * memory left free for a few seconds back to its host, and the first touch of
 * it then costs more than the copy that needs it: whichever command ran first
 * after a pause would pay for the others. */
static int warm_memory(size_t bytes)
{
    if (bytes == 0)
        return 0;
    void* memory = mmap(NULL, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return -1;
    memset(memory, 1, bytes);
    return munmap(memory, bytes);
}

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: warm_timed_run WARM_BYTES SECONDS_FILE COMMAND [ARGS...]\n");
        return 125;
    }
    char* end = NULL;
    const unsigned long long warmBytes = strtoull(argv[1], &end, 10);
    if (*argv[1] == '\0' || *end != '\0') {
        fprintf(stderr, "warm_timed_run: WARM_BYTES \"%s\" is not a number\n", argv[1]);
        return 125;
    }
    FILE* secondsFile = fopen(argv[2], "w");
    if (secondsFile == NULL)
        return fail(argv[2]);

    sync();
    if (warm_memory((size_t)warmBytes) != 0)
        return fail("cannot warm the memory");

    const double start = now();
    const pid_t child = fork();
    if (child < 0)
        return fail("fork");
    if (child == 0) {
        execvp(argv[3], argv + 3);
        fprintf(stderr, "warm_timed_run: cannot run %s: %s\n", argv[3], strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return fail("waitpid");
    const double seconds = now() - start;

    fprintf(secondsFile, "%.6f\n", seconds);
    if (fclose(secondsFile) != 0)
        return fail(argv[2]);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
