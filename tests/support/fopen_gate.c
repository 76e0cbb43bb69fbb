/* Preloaded (LD_PRELOAD) into the real player by tests that need a file to
 * load slowly without changing what the player does: fopen of the path in
 * VORQ_GATED_FILE opens the FIFO in VORQ_GATE instead, so the open waits
 * until the test opens the FIFO's other end (or for ever). Reaching the gate
 * first creates the file VORQ_GATE ".reached", so the test can tell. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

FILE* fopen(const char* path, const char* mode) {
    FILE* (*real)(const char*, const char*) = (FILE * (*)(const char*, const char*)) dlsym(RTLD_NEXT, "fopen");
    const char* gated = getenv("VORQ_GATED_FILE");
    const char* gate = getenv("VORQ_GATE");
    if (path && gated && gate && strcmp(path, gated) == 0) {
        char reached[4096];
        snprintf(reached, sizeof reached, "%s.reached", gate);
        FILE* mark = real(reached, "w");
        if (mark) fclose(mark);
        path = gate;
    }
    return real(path, mode);
}
