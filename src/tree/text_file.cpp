// Buffered CR LF text files over the platform's raw file operations.
#include "tree/text_file.h"

#include <cstring>

#include "platform/platform.h"

namespace vux {

TextWriter::~TextWriter() { close(); }

bool TextWriter::open(const char* path) {
    file_ = platform::openFile(path, platform::OpenMode::write);
    failed_ = false;
    written_ = 0;
    length_ = 0;
    makeRoom_ = nullptr;
    return file_ >= 0;
}

void TextWriter::put(const char* data, std::size_t size) {
    if (length_ + size > sizeof buffer_) {
        flush();
        if (size > sizeof buffer_) {
            if (digest_ != nullptr) digest_->add(data, size);
            write(data, size);
            return;
        }
    }
    std::memcpy(buffer_ + length_, data, size);
    length_ += size;
}

void TextWriter::put(const char* text) { put(text, std::strlen(text)); }

void TextWriter::putLines(const char* text) {
    while (const char* end = std::strchr(text, '\n')) {
        put(text, static_cast<std::size_t>(end - text));
        endLine();
        text = end + 1;
    }
    put(text);
}

void TextWriter::flush() {
    if (digest_ != nullptr) digest_->add(buffer_, length_);
    if (length_ > 0) write(buffer_, length_);
    length_ = 0;
}

// At the offset meant, so that a write tried again after part of it landed goes to
// the same place.
void TextWriter::write(const char* data, std::size_t size) {
    bool ok = !failed_ && platform::writeFileAt(file_, data, size, written_) == 0;
    if (!ok && !failed_ && makeRoom_ != nullptr) {
        void (*makeRoom)(void*) = makeRoom_;
        makeRoom_ = nullptr;
        makeRoom(roomContext_);
        ok = platform::writeFileAt(file_, data, size, written_) == 0;
    }
    failed_ = !ok;
    written_ += size;
}

bool TextWriter::close() {
    if (file_ < 0) return false;
    flush();
    // After a failed write (a full disk) the file is cut to nothing: cut to the length
    // meant, it would be padded with zero bytes where the writes never landed.
    bool ok = platform::closeWritten(file_, failed_ ? 0 : written_) == 0 && !failed_;
    file_ = -1;
    digest_ = nullptr;
    makeRoom_ = nullptr;
    return ok;
}

LineReader::~LineReader() { close(); }

bool LineReader::open(const char* path) {
    file_ = platform::openFile(path, platform::OpenMode::read);
    position_ = length_ = 0;
    return file_ >= 0;
}

void LineReader::close() {
    if (file_ >= 0) platform::closeFile(file_);
    file_ = -1;
}

int LineReader::raw() {
    if (position_ == length_) {
        long n = file_ < 0 ? -1 : platform::readFile(file_, buffer_, sizeof buffer_);
        if (n <= 0) return -1;
        position_ = 0;
        length_ = static_cast<std::size_t>(n);
    }
    return static_cast<unsigned char>(buffer_[position_++]);
}

int LineReader::next() {
    int c = raw();
    if (c != '\r') return c;
    int after = raw();
    if (after == '\n') return '\n';
    if (after >= 0) --position_;  // raw() just filled or stepped: the byte is still there
    return '\r';
}

bool LineReader::readLine(char* buffer, std::size_t size) {
    std::size_t n = 0;
    while (n + 1 < size) {
        int c = next();
        if (c < 0) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = '\0';
    if (n > 0) platform::fromStoredText(buffer, size);
    return n > 0;
}

}  // namespace vux
