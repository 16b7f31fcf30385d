// Text files as the NT shell keeps them: a line end is CR LF when written, and a
// CR before LF is dropped when read (a bare LF is a line end too).
#pragma once

#include <cstddef>

#include "tree/digest.h"

namespace vux {

// Buffered writer; nothing reaches the file before flush or close.
class TextWriter {
public:
    TextWriter() = default;
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;
    ~TextWriter();

    // Creates or empties the file: false when it can't be opened.
    bool open(const char* path);
    void put(const char* data, std::size_t size);
    void put(const char* text);
    void endLine() { put("\r\n", 2); }
    // Puts text whose lines end in "\n", each line end written as CR LF.
    void putLines(const char* text);
    // Writes what is buffered and closes: false when any write failed.
    bool close();
    // Bytes put so far.
    unsigned long long size() const { return written_ + length_; }
    // Has every byte put from now on added to digest.
    void keepDigest(Digest* digest) { digest_ = digest; }
    // When a write fails (a full disk), calls makeRoom(context) once, which may free
    // room by giving up a file that matters less, and tries the write again.
    void onFull(void (*makeRoom)(void*), void* context) {
        makeRoom_ = makeRoom;
        roomContext_ = context;
    }

private:
    void flush();
    void write(const char* data, std::size_t size);

    int file_ = -1;
    bool failed_ = false;
    void (*makeRoom_)(void*) = nullptr;
    void* roomContext_ = nullptr;
    unsigned long long written_ = 0;
    std::size_t length_ = 0;
    Digest* digest_ = nullptr;
    char buffer_[32 * 1024];
};

// Reads lines the way fgets reads a text file: at most size - 1 characters, up to
// and including the line end ("\n"); a longer line comes in pieces.
class LineReader {
public:
    LineReader() = default;
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    ~LineReader();

    bool open(const char* path);
    // False at the end of the file with nothing read. The piece is terminated;
    // a NUL byte in the file ends the text where it stands.
    bool readLine(char* buffer, std::size_t size);
    void close();

private:
    int next();  // the next character with CR LF read as LF, or -1 at the end
    int raw();

    int file_ = -1;
    std::size_t position_ = 0;
    std::size_t length_ = 0;
    char buffer_[4096];
};

}  // namespace vux
