// Splits a fuzz input into the pieces a target needs, without libFuzzer's
// own helper, so that the regression runner builds with any compiler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace quillon::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // A piece of up to `most` bytes whose length comes from the input.
    std::string Text(std::size_t most)
    {
        const std::size_t length = Byte() % (most + 1);
        return Bytes(length);
    }
    // Everything that is left.
    std::string Rest() { return Bytes(size_); }
    double Double()
    {
        double value = 0;
        const std::string bytes = Bytes(sizeof value);
        std::memcpy(&value, bytes.data(), bytes.size());
        return value;
    }
    uint8_t Byte() { return size_ == 0 ? 0 : static_cast<uint8_t>(Bytes(1)[0]); }

private:
    std::string Bytes(std::size_t wanted)
    {
        const std::size_t taken = wanted < size_ ? wanted : size_;
        std::string bytes(reinterpret_cast<const char*>(data_), taken);
        data_ += taken;
        size_ -= taken;
        return bytes;
    }

    const uint8_t* data_;
    std::size_t size_;
};

}  // namespace quillon::fuzz
