/* Times a program's presented frames from outside: preloaded, it wraps
 * SDL_GL_SwapWindow and, at exit, appends one line per swap to the file
 * named by SWAP_COUNT_FILE: "WALL CPU", the seconds since the first swap on
 * the monotonic clock and the process's CPU time (user + system, every
 * thread) at that swap. Frame rates come from the first column, CPU time per
 * frame from the second; a span of swaps can be picked afterwards (the
 * engine also swaps while it loads). Processes that never swapped (forked
 * helpers running their destructors) write nothing.
 *
 *   cc -shared -fPIC -O2 -o swap_counter.so swap_counter.c -ldl
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

struct swap {
    double wall, cpu;
};

static struct swap* swaps;
static long frames, capacity;

static double seconds(clockid_t clock) {
    struct timespec now;
    clock_gettime(clock, &now);
    return (double)now.tv_sec + now.tv_nsec / 1e9;
}

void SDL_GL_SwapWindow(void* window) {
    static void (*real)(void*);
    if (!real) real = (void (*)(void*))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
    if (frames == capacity) {
        long grown = capacity ? 2 * capacity : 4096;
        struct swap* more = realloc(swaps, (size_t)grown * sizeof *swaps);
        if (!more) return;
        swaps = more;
        capacity = grown;
    }
    swaps[frames].wall = seconds(CLOCK_MONOTONIC);
    swaps[frames].cpu = seconds(CLOCK_PROCESS_CPUTIME_ID);
    ++frames;
}

__attribute__((destructor)) static void report(void) {
    const char* path = getenv("SWAP_COUNT_FILE");
    if (frames < 2 || !path) return;
    FILE* out = fopen(path, "a");
    if (!out) return;
    for (long i = 0; i < frames; ++i)
        fprintf(out, "%.6f %.6f\n", swaps[i].wall - swaps[0].wall, swaps[i].cpu);
    fclose(out);
}
