/*
 * bare_walk ROOT: the least work a full directory walk can do on Linux, as the
 * yardstick for the scan. Each folder is opened relative to its parent's handle,
 * read with getdents64 into a large buffer, and judged by the type the listing
 * carries; dot-names are skipped and symbolic links never followed, as the scan
 * does. Prints one host path per line, ROOT's subfolders only, through one large
 * output buffer.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

enum { listingSize = 64 * 1024, outSize = 1 << 20, pathSize = 4096, maxDepth = 256 };

struct linuxDirent64 {
    unsigned long long d_ino;
    long long d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

static char out[outSize];
static size_t outUsed;
static char path[pathSize];
/* one listing buffer per level: a level's unread records outlive its children's walks */
static char *listings[maxDepth];

static void flushOut(void) {
    size_t done = 0;
    while (done < outUsed) {
        ssize_t n = write(1, out + done, outUsed - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            exit(1);
        }
        done += (size_t)n;
    }
    outUsed = 0;
}

static void emit(size_t length) {
    if (outUsed + length + 1 > outSize) flushOut();
    memcpy(out + outUsed, path, length);
    out[outUsed + length] = '\n';
    outUsed += length + 1;
}

static void walk(int fd, size_t length, int level) {
    if (level >= maxDepth) return;
    if (listings[level] == NULL && (listings[level] = malloc(listingSize)) == NULL) return;
    char *buffer = listings[level];
    for (;;) {
        long n = syscall(SYS_getdents64, fd, buffer, listingSize);
        if (n <= 0) return;
        for (long at = 0; at < n;) {
            struct linuxDirent64 *record = (struct linuxDirent64 *)(buffer + at);
            at += record->d_reclen;
            const char *name = record->d_name;
            if (name[0] == '.') continue;
            int isDir = record->d_type == DT_DIR;
            if (record->d_type == DT_UNKNOWN) {
                struct stat st;
                isDir = fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
            }
            if (!isDir) continue;
            size_t nameLength = strlen(name);
            if (length + 1 + nameLength >= pathSize) continue;
            path[length] = '/';
            memcpy(path + length + 1, name, nameLength + 1);
            emit(length + 1 + nameLength);
            int child = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) {
                walk(child, length + 1 + nameLength, level + 1);
                close(child);
            }
        }
    }
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: bare_walk ROOT\n");
        return 2;
    }
    size_t length = strlen(argv[1]);
    while (length > 1 && argv[1][length - 1] == '/') --length;
    if (length >= pathSize) return 2;
    memcpy(path, argv[1], length);
    path[length] = '\0';
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "bare_walk: can't open %s: %s\n", path, strerror(errno));
        return 1;
    }
    walk(fd, length == 1 ? 0 : length, 0);
    close(fd);
    flushOut();
    return 0;
}
