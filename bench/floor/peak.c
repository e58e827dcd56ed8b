/* Runs a command and reports its wall time and the peak resident memory of all
 * its processes together (the sum, over every process the command forks, of that
 * process's own peak), as a tool made of several processes is judged.
 *
 *   bench_peak [-o FILE] -- COMMAND [ARG...]
 *
 * Writes "SECONDS PEAK_KIB EXIT_CODE CPU_SECONDS" to FILE (default stderr) and
 * exits with the command's exit code. CPU_SECONDS is the user and system time
 * of all the command's processes (a steadier figure than wall time on a
 * machine that other work shares). The command's processes are traced only at their forks
 * and exits (no per-call tracing): each process's VmHWM is read as it exits. Our
 * own memory before the exec is not counted, which a plain wait4 would do.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define MAX_PROCS 4096

static struct {
    pid_t tgid;
    long peakKib;
} g_procs[MAX_PROCS];
static int g_procCount;

/* The thread group of `tid` and its mm's peak, read while it is still alive. */
static void recordPeak(pid_t tid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/status", (int)tid);
    FILE* f = fopen(path, "r");
    if (!f)
        return;
    char line[256];
    long hwm = -1;
    pid_t tgid = tid;
    while (fgets(line, sizeof line, f)) {
        if (strncmp(line, "Tgid:", 5) == 0)
            tgid = (pid_t)atol(line + 5);
        else if (strncmp(line, "VmHWM:", 6) == 0)
            hwm = atol(line + 6);
    }
    fclose(f);
    if (hwm < 0)
        return; /* a zombie-to-be without an mm */
    for (int i = 0; i < g_procCount; ++i) {
        if (g_procs[i].tgid == tgid) {
            if (hwm > g_procs[i].peakKib)
                g_procs[i].peakKib = hwm;
            return;
        }
    }
    if (g_procCount < MAX_PROCS) {
        g_procs[g_procCount].tgid = tgid;
        g_procs[g_procCount].peakKib = hwm;
        ++g_procCount;
    }
}

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char** argv)
{
    const char* out = NULL;
    int first = 1;
    if (first + 1 < argc && strcmp(argv[first], "-o") == 0) {
        out = argv[first + 1];
        first += 2;
    }
    if (first < argc && strcmp(argv[first], "--") == 0)
        ++first;
    if (first >= argc) {
        fprintf(stderr, "usage: bench_peak [-o FILE] -- COMMAND [ARG...]\n");
        return 2;
    }

    const double start = now();
    const pid_t child = fork();
    if (child < 0) {
        perror("fork");
        return 2;
    }
    if (child == 0) {
        ptrace(PTRACE_TRACEME, 0, NULL, NULL);
        raise(SIGSTOP);
        execvp(argv[first], argv + first);
        fprintf(stderr, "bench_peak: %s: %s\n", argv[first], strerror(errno));
        _exit(127);
    }

    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFSTOPPED(status)) {
        fprintf(stderr, "bench_peak: the command did not start\n");
        return 2;
    }
    ptrace(PTRACE_SETOPTIONS, child, NULL,
           (void*)(long)(PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK | PTRACE_O_TRACECLONE |
                         PTRACE_O_TRACEEXEC | PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL));
    ptrace(PTRACE_CONT, child, NULL, NULL);

    int exitCode = -1;
    double end = 0;
    for (;;) {
        const pid_t pid = waitpid(-1, &status, __WALL);
        if (pid < 0) {
            if (errno == EINTR)
                continue;
            break; /* ECHILD: everything has ended */
        }
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            if (pid == child) {
                end = now();
                exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            continue;
        }
        if (!WIFSTOPPED(status))
            continue;
        const int sig = WSTOPSIG(status);
        const int event = status >> 16;
        int deliver = 0;
        if (sig == SIGTRAP && event == PTRACE_EVENT_EXIT)
            recordPeak(pid);
        else if (sig == SIGTRAP && event != 0)
            ; /* fork, clone, exec: nothing to deliver */
        else if (sig == SIGSTOP && event == 0)
            ; /* a new process's first stop, or the child's own raise() */
        else if (event == 0)
            deliver = sig;
        ptrace(PTRACE_CONT, pid, NULL, (void*)(long)deliver);
    }
    if (end == 0)
        end = now();

    long total = 0;
    for (int i = 0; i < g_procCount; ++i)
        total += g_procs[i].peakKib;
    FILE* f = out ? fopen(out, "w") : stderr;
    if (!f) {
        perror(out);
        return 2;
    }
    struct rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    const double cpu = (double)usage.ru_utime.tv_sec + (double)usage.ru_utime.tv_usec / 1e6 +
                       (double)usage.ru_stime.tv_sec + (double)usage.ru_stime.tv_usec / 1e6;
    fprintf(f, "%.6f %ld %d %.6f\n", end - start, total, exitCode, cpu);
    if (out)
        fclose(f);
    return exitCode < 0 ? 2 : exitCode;
}
