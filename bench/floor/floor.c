/* The floor of the mirroring benchmark: the least work any tool must do.
 *
 *   bench_floor walk [--threads N] TREE...   list every folder of every TREE with
 *                                            getdents64 and fstatat each entry
 *                                            (what a no-change re-run must look at)
 *   bench_floor read [--threads N] TREE...   the same walk, and every regular file
 *                                            read once through CRC-32 (what a
 *                                            comparison by contents must read)
 *   bench_floor copy SOURCE TARGET...        the walk of SOURCE, copying it into
 *                                            each new TARGET in turn: folders made,
 *                                            files copied with copy_file_range and
 *                                            given their mode and last-write time,
 *                                            links re-made (what a mirror into an
 *                                            empty Target must do)
 *
 * With --threads N (default 1) the trees are shared out over N threads, one tree
 * per thread at a time (copy: one thread). Prints the entries, bytes and seconds
 * on stdout. Links are never followed. Exits 1 when anything failed.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

struct linux_dirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

struct totals {
    uint64_t entries, bytes, checksum;
    int errors;
};

static int g_read;
static mode_t g_umask;
static char** g_trees;
static int g_treeCount;
static atomic_int g_next;

enum { kReadBlock = 1 << 20 };

/* CRC-32 with zlib's values at the processor's speed (carry-less multiplication,
 * as the program itself sums), so reading is what the floor measures. */
#if defined(__x86_64__)
#include <immintrin.h>
#define CRC_TARGET __attribute__((target("pclmul,sse4.1")))
CRC_TARGET static inline __m128i load(const unsigned char* p)
{
    return _mm_loadu_si128((const __m128i*)p);
}
CRC_TARGET static inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), _mm_clmulepi64_si128(x, k, 0x00)), next);
}
CRC_TARGET static uint32_t crcFolded(const unsigned char* buf, size_t len, uint32_t crc)
{
    static const uint64_t __attribute__((aligned(16))) k1k2[] = {0x0154442bd4, 0x01c6e41596};
    static const uint64_t __attribute__((aligned(16))) k3k4[] = {0x01751997d0, 0x00ccaa009e};
    static const uint64_t __attribute__((aligned(16))) k5k0[] = {0x0163cd6124, 0x0000000000};
    static const uint64_t __attribute__((aligned(16))) poly[] = {0x01db710641, 0x01f7011641};
    __m128i x1 = _mm_xor_si128(load(buf), _mm_cvtsi32_si128((int)crc));
    __m128i x2 = load(buf + 16), x3 = load(buf + 32), x4 = load(buf + 48);
    buf += 64;
    len -= 64;
    __m128i k = _mm_load_si128((const __m128i*)k1k2);
    for (; len >= 64; buf += 64, len -= 64) {
        x1 = fold(x1, k, load(buf));
        x2 = fold(x2, k, load(buf + 16));
        x3 = fold(x3, k, load(buf + 32));
        x4 = fold(x4, k, load(buf + 48));
    }
    k = _mm_load_si128((const __m128i*)k3k4);
    x1 = fold(fold(fold(x1, k, x2), k, x3), k, x4);
    for (; len >= 16; buf += 16, len -= 16)
        x1 = fold(x1, k, load(buf));
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
    k = _mm_loadl_epi64((const __m128i*)k5k0);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), _mm_srli_si128(x1, 4));
    k = _mm_load_si128((const __m128i*)poly);
    __m128i r = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
    r = _mm_clmulepi64_si128(_mm_and_si128(r, low32), k, 0x00);
    return (uint32_t)_mm_extract_epi32(_mm_xor_si128(x1, r), 1);
}
#endif

static uLong crcUpdate(uLong crc, const unsigned char* buf, size_t len)
{
#if defined(__x86_64__)
    if (len >= 64 && __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1")) {
        size_t whole = len & ~(size_t)15;
        crc = ~crcFolded(buf, whole, ~(uint32_t)crc) & 0xFFFFFFFFu;
        buf += whole;
        len -= whole;
    }
#endif
    return crc32_z(crc, buf, len);
}

static void readFile(int dir, const char* name, struct totals* t, unsigned char* buf)
{
    int fd = openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ++t->errors;
        return;
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    for (;;) {
        ssize_t n = read(fd, buf, kReadBlock);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ++t->errors;
            break;
        }
        if (n == 0)
            break;
        crc = crcUpdate(crc, buf, (size_t)n);
        t->bytes += (uint64_t)n;
    }
    t->checksum += crc;
    close(fd);
}

/* Takes ownership of `dir`. */
static void walk(int dir, struct totals* t, unsigned char* buf)
{
    char listing[64 * 1024];
    for (;;) {
        ssize_t n = getdents64(dir, listing, sizeof listing);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ++t->errors;
            break;
        }
        for (ssize_t pos = 0; pos < n;) {
            const struct linux_dirent64* d = (const struct linux_dirent64*)(listing + pos);
            pos += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            struct stat st;
            if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                ++t->errors;
                continue;
            }
            ++t->entries;
            if (S_ISDIR(st.st_mode)) {
                int sub = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub < 0)
                    ++t->errors;
                else
                    walk(sub, t, buf);
            } else if (g_read && S_ISREG(st.st_mode)) {
                readFile(dir, name, t, buf);
            } else {
                t->bytes += (uint64_t)st.st_size;
            }
        }
    }
    close(dir);
}

static void copyFile(int from, int to, const char* name, const struct stat* st, struct totals* t)
{
    int in = openat(from, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        ++t->errors;
        return;
    }
    const mode_t mode = st->st_mode & 07777;
    int out = openat(to, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777);
    if (out < 0) {
        ++t->errors;
        close(in);
        return;
    }
    for (off_t left = st->st_size; left > 0;) {
        ssize_t n = copy_file_range(in, NULL, out, NULL, (size_t)left, 0);
        if (n <= 0) {
            if (n < 0)
                ++t->errors;
            break;
        }
        left -= n;
        t->bytes += (uint64_t)n;
    }
    if ((mode & ~g_umask) != mode && fchmod(out, mode) != 0)
        ++t->errors;
    const struct timespec times[2] = {{0, UTIME_OMIT}, st->st_mtim};
    if (futimens(out, times) != 0)
        ++t->errors;
    close(out);
    close(in);
}

/* Takes ownership of `from` and `to`. */
static void copyTree(int from, int to, struct totals* t)
{
    char listing[64 * 1024];
    for (;;) {
        ssize_t n = getdents64(from, listing, sizeof listing);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ++t->errors;
            break;
        }
        for (ssize_t pos = 0; pos < n;) {
            const struct linux_dirent64* d = (const struct linux_dirent64*)(listing + pos);
            pos += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            struct stat st;
            if (fstatat(from, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                ++t->errors;
                continue;
            }
            ++t->entries;
            if (S_ISDIR(st.st_mode)) {
                if (mkdirat(to, name, 0777) != 0) {
                    ++t->errors;
                    continue;
                }
                int sub = openat(from, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                int subTo = openat(to, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub < 0 || subTo < 0) {
                    ++t->errors;
                    if (sub >= 0)
                        close(sub);
                    if (subTo >= 0)
                        close(subTo);
                    continue;
                }
                copyTree(sub, subTo, t);
            } else if (S_ISREG(st.st_mode)) {
                copyFile(from, to, name, &st, t);
            } else if (S_ISLNK(st.st_mode)) {
                char text[4096];
                ssize_t len = readlinkat(from, name, text, sizeof text - 1);
                if (len < 0 || (text[len] = 0, symlinkat(text, to, name) != 0))
                    ++t->errors;
            }
        }
    }
    close(from);
    close(to);
}

static void* worker(void* arg)
{
    struct totals* t = arg;
    /* Page-aligned: the kernel copies into an unaligned buffer several times slower. */
    unsigned char* buf = g_read ? aligned_alloc(4096, kReadBlock) : NULL;
    for (;;) {
        int i = atomic_fetch_add(&g_next, 1);
        if (i >= g_treeCount)
            break;
        int dir = open(g_trees[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) {
            fprintf(stderr, "bench_floor: %s: %s\n", g_trees[i], strerror(errno));
            ++t->errors;
            continue;
        }
        walk(dir, t, buf);
    }
    free(buf);
    return NULL;
}

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char** argv)
{
    if (argc >= 4 && strcmp(argv[1], "copy") == 0) {
        g_umask = umask(0);
        umask(g_umask);
        struct totals t = {0, 0, 0, 0};
        const double start = now();
        for (int i = 3; i < argc; ++i) {
            int from = open(argv[2], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            int to = open(argv[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (from < 0 || to < 0) {
                fprintf(stderr, "bench_floor: %s or %s: %s\n", argv[2], argv[i], strerror(errno));
                return 1;
            }
            copyTree(from, to, &t);
        }
        printf("copy: %llu entries, %llu bytes, %.3f s, %d errors\n", (unsigned long long)t.entries,
               (unsigned long long)t.bytes, now() - start, t.errors);
        return t.errors ? 1 : 0;
    }
    if (argc < 3 || (strcmp(argv[1], "walk") != 0 && strcmp(argv[1], "read") != 0)) {
        fprintf(stderr, "usage: bench_floor walk|read [--threads N] TREE... | copy SOURCE TARGET...\n");
        return 2;
    }
    g_read = strcmp(argv[1], "read") == 0;
    int first = 2, threads = 1;
    if (first + 1 < argc && strcmp(argv[first], "--threads") == 0) {
        threads = atoi(argv[first + 1]);
        first += 2;
    }
    if (threads < 1 || first >= argc) {
        fprintf(stderr, "usage: bench_floor walk|read [--threads N] TREE...\n");
        return 2;
    }
    g_trees = argv + first;
    g_treeCount = argc - first;

    struct totals* totals = calloc((size_t)threads, sizeof *totals);
    pthread_t* ids = calloc((size_t)threads, sizeof *ids);
    const double start = now();
    for (int i = 0; i < threads; ++i)
        pthread_create(&ids[i], NULL, worker, &totals[i]);
    struct totals sum = {0, 0, 0, 0};
    for (int i = 0; i < threads; ++i) {
        pthread_join(ids[i], NULL);
        sum.entries += totals[i].entries;
        sum.bytes += totals[i].bytes;
        sum.checksum += totals[i].checksum;
        sum.errors += totals[i].errors;
    }
    const double seconds = now() - start;
    printf("%s: %llu entries, %llu bytes, %.3f s, %d errors\n", argv[1], (unsigned long long)sum.entries,
           (unsigned long long)sum.bytes, seconds, sum.errors);
    free(totals);
    free(ids);
    return sum.errors ? 1 : 0;
}
