/*
 * bare_scan KEY FILE: the least work a line-by-line pass over a tree file can do,
 * as the yardstick for the lookup. Reads with read() in large blocks, finds each
 * line end with memchr, and counts the lines that contain KEY (case-sensitive).
 * Prints the count.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

enum { blockSize = 256 * 1024 };

static char block[blockSize];

static int lineHasKey(const char *line, size_t length, const char *key, size_t keyLength) {
    return memmem(line, length, key, keyLength) != NULL;
}

int main(int argc, char **argv) {
    if (argc != 3 || argv[1][0] == '\0') {
        fprintf(stderr, "usage: bare_scan KEY FILE\n");
        return 2;
    }
    const char *key = argv[1];
    size_t keyLength = strlen(key);
    int fd = open(argv[2], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "bare_scan: can't open %s: %s\n", argv[2], strerror(errno));
        return 1;
    }
    unsigned long count = 0;
    size_t have = 0; /* the unfinished line carried to the front of the block */
    for (;;) {
        ssize_t n = read(fd, block + have, blockSize - have);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (have > 0 && lineHasKey(block, have, key, keyLength)) ++count;
            break;
        }
        char *p = block;
        char *end = block + have + n;
        char *newline;
        while ((newline = memchr(p, '\n', (size_t)(end - p))) != NULL) {
            if (lineHasKey(p, (size_t)(newline - p), key, keyLength)) ++count;
            p = newline + 1;
        }
        have = (size_t)(end - p);
        if (have == blockSize) have = 0; /* a line longer than a block: its start is dropped */
        memmove(block, p, have);
    }
    close(fd);
    printf("%lu\n", count);
    return 0;
}
