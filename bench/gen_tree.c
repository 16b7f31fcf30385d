/*
 * gen_tree: deterministic inputs for the benchmarks.
 *
 *   gen_tree dirs N ROOT [--seed S] [--files MEAN] [--avoid WORD]...
 *       Creates N directories below the host folder ROOT (created if missing),
 *       plus, besides them, a few dot-directories with small subtrees of their
 *       own, some symbolic links to directories and about MEAN empty files per
 *       directory. A scan that leaves out dot-names and doesn't follow links
 *       lists exactly N directories.
 *
 *   gen_tree lines N FILE [--seed S] [--drive X] [--key KEY] [--avoid WORD]...
 *       Writes a tree file of N lines: full drive paths (X:\A\B), CR LF, depth
 *       first, each directory's line followed by its subtree's lines. Prints two
 *       lines on standard output: the line in the middle of the file (to stand
 *       in as the current directory) and, with --key, the one line whose last
 *       component is KEY: a leaf in the last thousand lines. No other line
 *       contains KEY or any --avoid word, in any case.
 *
 * The same arguments give the same bytes on every run and host. The shape is a
 * random walk over the tree being built: mostly siblings and steps down, now and
 * then a climb or a jump to any earlier directory, which gives runs of siblings,
 * deep narrow chains and a few wide folders, as real disks have.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { maxDepth = 18, maxPath = 200, maxAvoid = 16 };

#include "gen_names.h"

/* ---- the shape --------------------------------------------------------------- */

/* Node 0 is the root; every other node's parent has a smaller index. */
static uint32_t *parent;
static uint8_t *depth;
static uint16_t *pathLength; /* length of the path below the root, without a leading separator */
static uint32_t *nameAt;     /* offset into the name pool */
static char *pool;
static size_t poolUsed, poolSize;

/* Names already given below each parent, kept unique: open addressing on (parent, name). */
static uint32_t *slots;
static size_t slotMask;

static uint64_t hashOf(uint32_t p, const char *name) {
    uint64_t h = 1469598103934665603ull ^ p;
    for (; *name != '\0'; ++name) h = (h ^ (unsigned char)*name) * 1099511628211ull;
    return h;
}

/* Returns 1 and records the name when no sibling has it yet. */
static int claimName(uint32_t node, uint32_t p, const char *name) {
    size_t i = (size_t)hashOf(p, name) & slotMask;
    while (slots[i] != 0) {
        uint32_t other = slots[i];
        if (parent[other] == p && strcmp(pool + nameAt[other], name) == 0) return 0;
        i = (i + 1) & slotMask;
    }
    slots[i] = node;
    return 1;
}

static void storeName(uint32_t node, const char *name) {
    size_t n = strlen(name) + 1;
    if (poolUsed + n > poolSize) {
        poolSize = poolSize * 2 + n;
        char *grown = realloc(pool, poolSize);
        if (grown == NULL) {
            fprintf(stderr, "gen_tree: out of memory\n");
            exit(2);
        }
        pool = grown;
    }
    memcpy(pool + poolUsed, name, n);
    nameAt[node] = (uint32_t)poolUsed;
    poolUsed += n;
}

static void buildShape(uint32_t count) {
    uint32_t total = count + 1;
    parent = xmalloc(total * sizeof *parent);
    depth = xmalloc(total);
    pathLength = xmalloc(total * sizeof *pathLength);
    nameAt = xmalloc(total * sizeof *nameAt);
    poolSize = (size_t)total * 12 + 64;
    pool = xmalloc(poolSize);
    size_t slotCount = 1;
    while (slotCount < (size_t)total * 2) slotCount <<= 1;
    slots = calloc(slotCount, sizeof *slots);
    if (slots == NULL) {
        fprintf(stderr, "gen_tree: out of memory\n");
        exit(2);
    }
    slotMask = slotCount - 1;

    parent[0] = 0;
    depth[0] = 0;
    pathLength[0] = 0;
    storeName(0, "");
    char name[64];
    for (uint32_t i = 1; i < total; ++i) {
        uint32_t prev = i - 1;
        uint32_t p;
        double r = unit();
        /* below about seven levels a step down is likelier than a climb, deeper the
           other way round: depths gather around six to nine, as on real disks */
        const int shallow = depth[prev] < 7;
        if (r < 0.50) {
            p = parent[prev]; /* a sibling of the last one */
        } else if (r < (shallow ? 0.80 : 0.66)) {
            p = prev; /* one step down */
        } else if (r < 0.95) {
            p = prev; /* climb one to four levels */
            for (uint32_t up = 1 + below(4); up > 0 && p != 0; --up) p = parent[p];
        } else {
            p = below(i); /* anywhere seen so far */
        }
        if (i == 1) p = 0;
        while (depth[p] >= maxDepth) p = parent[p];
        for (int attempt = 0;; ++attempt) {
            makeName(name, sizeof name);
            if (attempt > 8) {
                size_t n = strlen(name);
                snprintf(name + n, sizeof name - n, "-%u", i);
            }
            size_t len = strlen(name);
            while (p != 0 && pathLength[p] + 1 + len > maxPath) p = parent[p];
            if (claimName(i, p, name)) break;
        }
        parent[i] = p;
        depth[i] = (uint8_t)(depth[p] + 1);
        pathLength[i] = (uint16_t)(pathLength[p] + (p != 0) + strlen(name));
        storeName(i, name);
    }
}

/* ---- dirs: a real tree ----------------------------------------------------------- */

static char *hostPath(const char *root, uint32_t node, char *buffer, size_t size) {
    /* walk up to collect the chain, then write it root first */
    uint32_t chain[maxDepth + 2];
    int n = 0;
    for (uint32_t v = node; v != 0; v = parent[v]) chain[n++] = v;
    size_t used = (size_t)snprintf(buffer, size, "%s", root);
    while (n > 0) used += (size_t)snprintf(buffer + used, size - used, "/%s", pool + nameAt[chain[--n]]);
    return buffer;
}

static void makeDir(const char *path) {
    if (mkdir(path, 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "gen_tree: can't create %s: %s\n", path, strerror(errno));
        exit(1);
    }
}

static void makeFile(const char *path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd); /* a clash with a directory name is simply skipped */
}

static int runDirs(uint32_t count, const char *root, double filesMean) {
    buildShape(count);
    makeDir(root);
    char path[4096], extra[4200];
    unsigned dots = 0, links = 0, files = 0;
    for (uint32_t i = 0; i <= count; ++i) {
        hostPath(root, i, path, sizeof path);
        if (i != 0) makeDir(path);
        /* geometric number of files with the given mean */
        double stop = 1.0 / (1.0 + filesMean);
        for (unsigned f = 0; unit() >= stop; ++f) {
            snprintf(extra, sizeof extra, "%s/%s%u%s", path, syllables[below(COUNT(syllables))], f,
                     extensions[below(COUNT(extensions))]);
            makeFile(extra);
            ++files;
        }
        if (below(200) == 0) {
            /* a dot-directory with a little subtree: never listed by a scan that skips dot-names */
            snprintf(extra, sizeof extra, "%s/%s", path, dotNames[below(COUNT(dotNames))]);
            makeDir(extra);
            ++dots;
            size_t base = strlen(extra);
            for (unsigned k = below(6); k > 0; --k) {
                snprintf(extra + base, sizeof extra - base, "/%02x", below(256));
                makeDir(extra);
                extra[base] = '\0';
            }
        }
        if (i != 0 && below(300) == 0) {
            /* a link back up: a walk that followed links would loop */
            snprintf(extra, sizeof extra, "%s/link%u", path, i);
            if (symlink(below(2) ? ".." : "../..", extra) == 0) ++links;
        }
    }
    fprintf(stderr, "gen_tree: %u directories, %u dot-directories, %u links, %u files below %s\n", count, dots,
            links, files, root);
    return 0;
}

/* ---- lines: a tree file -------------------------------------------------------------- */

static int runLines(uint32_t count, const char *file, char drive, const char *key) {
    buildShape(count);
    uint32_t total = count + 1;
    /* children in index order, by counting sort on the parent */
    uint32_t *first = calloc((size_t)total + 1, sizeof *first);
    uint32_t *kids = xmalloc(total * sizeof *kids);
    if (first == NULL) return 2;
    for (uint32_t i = 1; i < total; ++i) ++first[parent[i] + 1];
    for (uint32_t i = 0; i < total; ++i) first[i + 1] += first[i];
    uint32_t *fill = xmalloc((total + 1) * sizeof *fill);
    memcpy(fill, first, (total + 1) * sizeof *fill);
    for (uint32_t i = 1; i < total; ++i) kids[fill[parent[i]]++] = i;

    /* pre-order */
    uint32_t *order = xmalloc(total * sizeof *order);
    uint32_t *stack = xmalloc(total * sizeof *stack);
    uint32_t top = 0, n = 0;
    for (uint32_t k = first[1]; k > first[0]; --k) stack[top++] = kids[k - 1];
    while (top > 0) {
        uint32_t v = stack[--top];
        order[n++] = v;
        for (uint32_t k = first[v + 1]; k > first[v]; --k) stack[top++] = kids[k - 1];
    }

    uint32_t middle = order[count / 2];
    uint32_t match = 0;
    if (key != NULL) {
        /* a leaf, so that no later line carries the key in its head */
        uint32_t from = count > 1000 ? count - 500 : count / 2 + 1;
        for (uint32_t at = from; at < count && match == 0; ++at) {
            if (first[order[at] + 1] == first[order[at]]) match = order[at];
        }
        if (match == 0) match = order[count - 1];
        storeName(match, key);
    }

    FILE *out = fopen(file, "wb");
    if (out == NULL) {
        fprintf(stderr, "gen_tree: can't create %s: %s\n", file, strerror(errno));
        return 1;
    }
    static char outBuffer[1 << 20];
    setvbuf(out, outBuffer, _IOFBF, sizeof outBuffer);
    char line[4096];
    char middleLine[4096] = "", matchLine[4096] = "";
    for (uint32_t at = 0; at < count; ++at) {
        uint32_t v = order[at];
        uint32_t chain[maxDepth + 2];
        int c = 0;
        for (uint32_t u = v; u != 0; u = parent[u]) chain[c++] = u;
        size_t used = (size_t)snprintf(line, sizeof line, "%c:", drive);
        while (c > 0) used += (size_t)snprintf(line + used, sizeof line - used, "\\%s", pool + nameAt[chain[--c]]);
        if (v == middle) memcpy(middleLine, line, used + 1);
        if (v == match) memcpy(matchLine, line, used + 1);
        line[used++] = '\r';
        line[used++] = '\n';
        fwrite(line, 1, used, out);
    }
    if (fclose(out) != 0) {
        fprintf(stderr, "gen_tree: can't write %s\n", file);
        return 1;
    }
    printf("%s\n", middleLine);
    if (key != NULL) printf("%s\n", matchLine);
    return 0;
}

static int usage(void) {
    fprintf(stderr,
            "usage: gen_tree dirs N ROOT [--seed S] [--files MEAN] [--avoid WORD]...\n"
            "       gen_tree lines N FILE [--seed S] [--drive X] [--key KEY] [--avoid WORD]...\n");
    return 2;
}

int main(int argc, char **argv) {
    if (argc < 4) return usage();
    const char *mode = argv[1];
    long count = strtol(argv[2], NULL, 10);
    const char *target = argv[3];
    uint64_t seed = 1;
    double filesMean = 1.5;
    char drive = 'C';
    const char *key = NULL;
    for (int i = 4; i < argc; ++i) {
        if (i + 1 >= argc) return usage();
        if (strcmp(argv[i], "--seed") == 0) seed = strtoull(argv[++i], NULL, 10);
        else if (strcmp(argv[i], "--files") == 0) filesMean = strtod(argv[++i], NULL);
        else if (strcmp(argv[i], "--drive") == 0) drive = argv[++i][0];
        else if (strcmp(argv[i], "--key") == 0) key = argv[++i];
        else if (strcmp(argv[i], "--avoid") == 0 && avoidCount < maxAvoid) avoid[avoidCount++] = argv[++i];
        else return usage();
    }
    if (count < 1 || count > 50000000) return usage();
    if (key != NULL && avoidCount < maxAvoid) avoid[avoidCount++] = key;
    rngState = seed;
    if (strcmp(mode, "dirs") == 0) return runDirs((uint32_t)count, target, filesMean);
    if (strcmp(mode, "lines") == 0) return runLines((uint32_t)count, target, drive, key);
    return usage();
}
