/*
 * bare_stat LIST THREADS: the least work that asks every folder of a tree for its
 * status by path, as the floor for a rescan that must learn whether any folder
 * changed. LIST holds one host path per line (bare_walk's output); the lines are cut
 * into THREADS runs of neighbours, each run stat'ed on a thread of its own with one
 * fstatat per path, links not followed. Prints the number of paths that failed.
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

enum { maxThreads = 64 };

static char** paths;
static size_t count;
static long threads;
static size_t failed[maxThreads];

static void* statRun(void* arg) {
    const long run = (long)arg;
    const size_t from = count * run / threads, to = count * (run + 1) / threads;
    struct stat status;
    for (size_t i = from; i < to; ++i)
        if (fstatat(AT_FDCWD, paths[i], &status, AT_SYMLINK_NOFOLLOW) != 0) ++failed[run];
    return NULL;
}

int main(int argc, char** argv) {
    if (argc != 3 || (threads = strtol(argv[2], NULL, 10)) < 1 || threads > maxThreads) {
        fprintf(stderr, "usage: bare_stat LIST THREADS (1 to %d)\n", maxThreads);
        return 2;
    }
    FILE* list = fopen(argv[1], "r");
    if (list == NULL) {
        perror(argv[1]);
        return 1;
    }
    size_t capacity = 0, length = 0;
    char* line = NULL;
    ssize_t got;
    while ((got = getline(&line, &length, list)) > 0) {
        if (line[got - 1] == '\n') line[got - 1] = '\0';
        if (count == capacity) {
            capacity = capacity ? 2 * capacity : 1 << 16;
            paths = realloc(paths, capacity * sizeof *paths);
            if (paths == NULL) return 1;
        }
        if ((paths[count++] = strdup(line)) == NULL) return 1;
    }
    fclose(list);
    pthread_t thread[maxThreads];
    for (long run = 0; run < threads; ++run)
        if (pthread_create(&thread[run], NULL, statRun, (void*)run) != 0) return 1;
    size_t failures = 0;
    for (long run = 0; run < threads; ++run) {
        pthread_join(thread[run], NULL);
        failures += failed[run];
    }
    printf("%zu\n", failures);
    return 0;
}
