/*
 * gen_names.h: the random numbers and the folder names of gen_tree; included
 * once, by gen_tree.c, which defines maxAvoid first.
 */
#ifndef GEN_NAMES_H
#define GEN_NAMES_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static uint64_t rngState;

static uint64_t next64(void) {
    /* splitmix64: tiny, and the same sequence on every host */
    uint64_t z = (rngState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

static uint32_t below(uint32_t n) { return n == 0 ? 0 : (uint32_t)(next64() % n); }

static double unit(void) { return (double)(next64() >> 11) / 9007199254740992.0; }

static void *xmalloc(size_t n) {
    void *p = malloc(n);
    if (p == NULL) {
        fprintf(stderr, "gen_tree: out of memory\n");
        exit(2);
    }
    return p;
}

/* ---- names ---------------------------------------------------------------- */

static const char *const words[] = {
    "bin", "lib", "src", "include", "share", "doc", "docs", "man", "man1", "man3", "test",
    "tests", "examples", "assets", "images", "icons", "locale", "build", "cmake", "scripts",
    "tools", "utils", "core", "common", "internal", "pkg", "vendor", "config", "data", "res",
    "resources", "static", "templates", "plugins", "modules", "python3", "site-packages",
    "x86_64-linux-gnu", "perl5", "fonts", "themes", "sounds", "backgrounds", "applications",
    "mime", "help", "info", "keys", "tmp", "cache", "logs", "backup", "archive", "old",
    "Projects", "Documents", "Downloads", "Music", "Pictures", "Videos", "Desktop", "work",
    "release", "debug", "Debug", "Release", "obj", "out", "dist", "node", "java", "jvm",
    "kernel", "drivers", "firmware", "net", "fs", "crypto", "sound", "arch", "mm", "security",
    "api", "client", "server", "web", "ui", "widgets", "handlers", "models", "views",
    "controllers", "migrations", "fixtures", "i18n", "en", "de", "fr", "ja", "zh_CN", "pt_BR",
};
static const char *const syllables[] = {
    "ka", "lo", "mi", "ne", "ru", "ta", "po", "si", "dan", "ver", "gor", "lin", "tek", "mon",
    "bra", "cal", "dex", "fil", "gra", "hub", "jet", "kor", "lum", "nor", "pix", "ran", "sol",
    "tor", "urb", "vel", "wen", "yar", "zen", "ax", "el", "is", "ob", "um",
};
static const char *const extensions[] = {".c", ".h", ".txt", ".so", ".py", ".md", ".json", ".png", ".gz", ".conf"};
static const char *const dotNames[] = {".git", ".cache", ".config", ".local", ".svn", ".idea", ".venv", ".npm"};

#define COUNT(a) (sizeof(a) / sizeof((a)[0]))

static const char *avoid[maxAvoid];
static int avoidCount;

static int containsFolded(const char *text, const char *word) {
    size_t n = strlen(word);
    for (; *text != '\0'; ++text) {
        if (strncasecmp(text, word, n) == 0) return 1;
    }
    return 0;
}

static int avoided(const char *name) {
    for (int i = 0; i < avoidCount; ++i) {
        if (containsFolded(name, avoid[i])) return 1;
    }
    return 0;
}

/* A directory name of 1 to about 40 characters. */
static void makeName(char *out, size_t size) {
    for (;;) {
        double r = unit();
        if (r < 0.40) {
            snprintf(out, size, "%s", words[below(COUNT(words))]);
        } else if (r < 0.55) {
            const char *w = words[below(COUNT(words))];
            switch (below(4)) {
            case 0: snprintf(out, size, "%s%u", w, below(100)); break;
            case 1: snprintf(out, size, "%s-%u.%u.%u", w, below(10), below(30), below(100)); break;
            case 2: snprintf(out, size, "%s_%s", w, words[below(COUNT(words))]); break;
            default: snprintf(out, size, "%s-%s", w, syllables[below(COUNT(syllables))]); break;
            }
        } else if (r < 0.85) {
            /* made-up words of 2 to 7 syllables, sometimes capitalised or two words */
            size_t n = 0;
            int count = 1 + (int)below(3) + (int)below(4);
            for (int i = 0; i < count && n + 4 < size; ++i) {
                n += (size_t)snprintf(out + n, size - n, "%s", syllables[below(COUNT(syllables))]);
                if (i + 1 < count && below(8) == 0 && n + 1 < size) out[n++] = ' ';
            }
            out[n] = '\0';
            if (below(4) == 0 && out[0] >= 'a' && out[0] <= 'z') out[0] = (char)(out[0] - 32);
        } else if (r < 0.95) {
            /* two hex digits, as object stores and caches name their fan-out folders */
            snprintf(out, size, "%02x", below(256));
        } else {
            /* long generated names: hashes, package ids */
            uint64_t h = next64();
            if (below(2) == 0) snprintf(out, size, "%016llx%08llx", (unsigned long long)h, (unsigned long long)(next64() >> 32));
            else snprintf(out, size, "org.%s.%s-%s-%u", syllables[below(COUNT(syllables))], words[below(COUNT(words))], syllables[below(COUNT(syllables))], below(1000));
        }
        if (!avoided(out)) return;
    }
}

#endif
