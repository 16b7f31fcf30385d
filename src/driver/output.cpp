// Template formatting with one placeholder, written straight to a stream.
#include "driver/output.h"

#include <cstring>

#include "platform/platform.h"

namespace vux {

namespace {

// Collects output and writes it in one piece; long arguments flush as they go.
class StreamWriter {
public:
    explicit StreamWriter(int stream) : stream_(stream) {}
    ~StreamWriter() { flush(); }
    void put(const char* data, std::size_t n) {
        if (length_ + n > sizeof buffer_) {
            flush();
            if (n > sizeof buffer_) {
                platform::writeStream(stream_, data, n);
                return;
            }
        }
        std::memcpy(buffer_ + length_, data, n);
        length_ += n;
    }
    void flush() {
        if (length_ > 0) platform::writeStream(stream_, buffer_, length_);
        length_ = 0;
    }

private:
    int stream_;
    std::size_t length_ = 0;
    char buffer_[1024];
};

void format(int stream, const char* prefix, const char* format, const char* text, std::size_t textLength) {
    StreamWriter out(stream);
    out.put(prefix, std::strlen(prefix));
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            const char* start = p;
            while (p[1] != '\0' && p[1] != '%') ++p;
            out.put(start, static_cast<std::size_t>(p - start) + 1);
            continue;
        }
        char kind = p[1];
        if (kind == '\0') {
            out.put("%", 1);
            break;
        }
        ++p;
        if (kind == '%')
            out.put("%", 1);
        else if (kind == 's' || kind == 'c')
            out.put(text, textLength);
    }
    if (*prefix != '\0') out.put("\n", 1);
}

}  // namespace

void writeText(int stream, const char* text) { platform::writeStream(stream, text, std::strlen(text)); }

void writeFormatted(int stream, const char* templateText, const char* argument) {
    const char* text = argument == nullptr ? "" : argument;
    format(stream, "", templateText, text, std::strlen(text));
}

void writeFormattedChar(int stream, const char* templateText, char argument) {
    format(stream, "", templateText, &argument, 1);
}

void writeMessage(int stream, const char* templateText, const char* text, std::size_t textLength) {
    format(stream, "vux: ", templateText, text, textLength);
}

}  // namespace vux
