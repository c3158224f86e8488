/* Counts a program's presented frames from outside: preloaded, it wraps
 * SDL_GL_SwapWindow and, at exit, appends "FRAMES SECONDS" (frames after the
 * first, and the time from the first swap to the last) to the file named by
 * SWAP_COUNT_FILE. Processes that never swapped (forked helpers running
 * their destructors) write nothing.
 *
 *   cc -shared -fPIC -O2 -o swap_counter.so swap_counter.c -ldl
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static long frames;
static struct timespec first, last;

void SDL_GL_SwapWindow(void* window) {
    static void (*real)(void*);
    if (!real) real = (void (*)(void*))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
    clock_gettime(CLOCK_MONOTONIC, frames ? &last : &first);
    ++frames;
}

__attribute__((destructor)) static void report(void) {
    const char* path = getenv("SWAP_COUNT_FILE");
    if (frames < 2 || !path) return;
    FILE* out = fopen(path, "a");
    if (!out) return;
    double seconds = (double)(last.tv_sec - first.tv_sec) + (last.tv_nsec - first.tv_nsec) / 1e9;
    fprintf(out, "%ld %.6f\n", frames - 1, seconds);
    fclose(out);
}
