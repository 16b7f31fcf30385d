// A fast 64-bit checksum of a byte stream, the same whatever pieces it comes in: it
// ties a companion file to the exact bytes of the file beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vux {

class Digest {
public:
    explicit Digest(std::uint64_t seed = 0) : state_(seed ^ 0x6a09e667f3bcc908ULL) {}

    void add(const char* data, std::size_t size) {
        total_ += size;
        if (carried_ > 0) {
            std::size_t take = size < 8 - carried_ ? size : 8 - carried_;
            std::memcpy(carry_ + carried_, data, take);
            carried_ += take;
            data += take;
            size -= take;
            if (carried_ < 8) return;
            mixWord(carry_);
            carried_ = 0;
        }
        for (; size >= 8; data += 8, size -= 8) mixWord(data);
        std::memcpy(carry_, data, size);
        carried_ = size;
    }

    std::uint64_t value() const {
        std::uint64_t h = state_;
        for (std::size_t i = 0; i < carried_; ++i) h = mix(h ^ static_cast<unsigned char>(carry_[i]));
        return mix(h ^ total_);
    }

private:
    static std::uint64_t mix(std::uint64_t h) {
        h *= 0x9e3779b97f4a7c15ULL;
        return h ^ (h >> 31);
    }
    void mixWord(const char* p) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        state_ = mix(state_ ^ word) + 0x632be59bd9b4e019ULL;
    }

    std::uint64_t state_;
    std::uint64_t total_ = 0;
    char carry_[8];
    std::size_t carried_ = 0;
};

}  // namespace vux
