/* Runs one command for bench/filesystems.sh and samples, every few
 * milliseconds while it runs, the bytes in use on the file system of a folder,
 * as df counts them: (blocks - free blocks) * fragment size of statvfs. A
 * shell loop that runs df itself samples every 20 ms or more on a busy machine,
 * and may miss a peak as short as one piece's life.
 *
 * Usage: space_peak_run FOLDER INTERVAL_MS RESULT_FILE COMMAND [ARGS...]
 *        space_peak_run FOLDER            (prints the bytes in use now)
 * Writes "PEAK_BYTES SAMPLES SECONDS MAX_RSS_KIB" to RESULT_FILE and exits with
 * COMMAND's status (128 + the signal's number when a signal ended it).
 */
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int fail(const char* what)
{
    fprintf(stderr, "space_peak_run: %s: %s\n", what, strerror(errno));
    return 125;
}

/* The bytes in use on the file system of `folder`, as df's "Used" column
 * counts them; -1 when statvfs fails. */
static long long used_bytes(const char* folder)
{
    struct statvfs s;
    if (statvfs(folder, &s) != 0)
        return -1;
    return (long long)(s.f_blocks - s.f_bfree) * (long long)s.f_frsize;
}

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char** argv)
{
    if (argc == 2) {
        const long long used = used_bytes(argv[1]);
        if (used < 0)
            return fail(argv[1]);
        printf("%lld\n", used);
        return 0;
    }
    if (argc < 5) {
        fprintf(stderr, "usage: space_peak_run FOLDER INTERVAL_MS RESULT_FILE COMMAND [ARGS...]\n");
        return 125;
    }
    const char* folder = argv[1];
    const long intervalMs = strtol(argv[2], NULL, 10);
    if (intervalMs <= 0) {
        fprintf(stderr, "space_peak_run: INTERVAL_MS \"%s\" is not a positive number\n", argv[2]);
        return 125;
    }
    FILE* result = fopen(argv[3], "w");
    if (result == NULL)
        return fail(argv[3]);

    long long peak = used_bytes(folder);
    if (peak < 0)
        return fail(folder);
    long samples = 1;
    const double start = now();
    const pid_t child = fork();
    if (child < 0)
        return fail("fork");
    if (child == 0) {
        execvp(argv[4], argv + 4);
        fprintf(stderr, "space_peak_run: cannot run %s: %s\n", argv[4], strerror(errno));
        _exit(127);
    }
    const struct timespec interval = {intervalMs / 1000, (intervalMs % 1000) * 1000000L};
    int status = 0;
    struct rusage usage;
    for (;;) {
        const pid_t ended = wait4(child, &status, WNOHANG, &usage);
        if (ended < 0 && errno != EINTR)
            return fail("wait4");
        /* One sample after the end too: the command's last state. */
        const long long used = used_bytes(folder);
        if (used < 0)
            return fail(folder);
        if (used > peak)
            peak = used;
        ++samples;
        if (ended == child)
            break;
        nanosleep(&interval, NULL);
    }
    const double seconds = now() - start;

    fprintf(result, "%lld %ld %.6f %ld\n", peak, samples, seconds, usage.ru_maxrss);
    if (fclose(result) != 0)
        return fail(argv[3]);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
