// A coder's output as a pull stream: each call fills up to capacity bytes and
// sets got; got 0 with kOk means the stream has ended.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace archiver {

using PullFunction = std::function<int(uint8_t* buffer, size_t capacity, size_t& got)>;

// Buffered byte access over a pull stream, for coders that read a byte at a time.
struct PullBuffer {
  PullFunction source;
  std::vector<uint8_t> data;
  size_t pos = 0;
  size_t length = 0;
  bool ended = false;
  int error = 0;

  PullBuffer(PullFunction from, size_t capacity) : source(std::move(from)), data(capacity) {}

  // Refills when empty; false at the end of the stream or on an error.
  bool Fill() {
    if (pos < length) return true;
    if (ended) return false;
    pos = length = 0;
    error = source(data.data(), data.size(), length);
    if (error || length == 0) {
      ended = true;
      return false;
    }
    return true;
  }
  bool Byte(uint8_t& b) {
    if (pos == length && !Fill()) return false;
    b = data[pos++];
    return true;
  }
};

}  // namespace archiver
