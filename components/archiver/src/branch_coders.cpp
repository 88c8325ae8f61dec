// Branch converters for x86 code. The encoder turned the relative targets of
// CALL/JMP (and, for BCJ2, Jcc) into absolute ones so that they compress
// better; decoding turns them back.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

#include "archive_error.h"
#include "coders.h"

namespace archiver {
namespace {

constexpr size_t kBranchBuffer = 1 << 16;

bool IsMostSignificantByte(uint8_t b) { return b == 0 || b == 0xFF; }

// BCJ: the converter works in place on a buffer; the last few bytes of each
// call may be the start of an instruction and wait for more input.
struct BcjState {
  PullFunction input;
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kBranchBuffer);
  size_t length = 0;
  size_t converted = 0;
  size_t pos = 0;
  uint32_t ip = 0;
  uint32_t state = 0;
  bool ended = false;

  int Read(uint8_t* out, size_t capacity, size_t& got) {
    got = 0;
    while (got < capacity) {
      if (pos < converted) {
        size_t n = std::min(capacity - got, converted - pos);
        std::memcpy(out + got, buffer.data() + pos, n);
        pos += n;
        got += n;
        continue;
      }
      std::memmove(buffer.data(), buffer.data() + pos, length - pos);
      length -= pos;
      pos = converted = 0;
      if (ended) {
        if (length == 0) break;
        converted = length;  // the tail is never converted
        continue;
      }
      size_t n = 0;
      if (int error = input(buffer.data() + length, buffer.size() - length, n)) return error;
      if (n == 0) {
        ended = true;
        continue;
      }
      length += n;
      converted = BcjX86Convert(buffer.data(), length, ip, state);
      ip += uint32_t(converted);
    }
    return kOk;
  }
};

// BCJ2: the main stream carries the code with branch targets removed; a range
// coder decides per E8/E9/Jcc whether its target was moved to the call or the
// jump stream (big-endian, absolute).
struct Bcj2State {
  PullBuffer main, call, jump, rangeCoder;
  uint64_t remaining;
  uint64_t outPos = 0;
  uint16_t probs[2 + 256];
  uint32_t range = 0xFFFFFFFF, code = 0;
  bool rangeStarted = false;
  uint8_t prevByte = 0;
  uint8_t pending[4];
  unsigned pendingPos = 4;
  int error = kOk;

  Bcj2State(PullFunction m, PullFunction c, PullFunction j, PullFunction r, uint64_t size)
      : main(std::move(m), kBranchBuffer), call(std::move(c), 1 << 12), jump(std::move(j), 1 << 12),
        rangeCoder(std::move(r), 1 << 12), remaining(size) {
    std::fill(std::begin(probs), std::end(probs), uint16_t(1 << 10));
  }

  int Fail(PullBuffer& from) { return error = from.error ? from.error : kErrorData; }

  bool RangeByte(uint8_t& b) {
    if (rangeCoder.Byte(b)) return true;
    Fail(rangeCoder);
    return false;
  }

  // Decodes one bit with probability prob; returns 0, 1 or -1 on error.
  int DecodeBit(uint16_t& prob) {
    uint32_t bound = (range >> 11) * prob;
    int bit;
    if (code < bound) {
      range = bound;
      prob = uint16_t(prob + (((1 << 11) - prob) >> 5));
      bit = 0;
    } else {
      range -= bound;
      code -= bound;
      prob = uint16_t(prob - (prob >> 5));
      bit = 1;
    }
    if (range < (1u << 24)) {
      uint8_t b;
      if (!RangeByte(b)) return -1;
      range <<= 8;
      code = (code << 8) | b;
    }
    return bit;
  }

  bool StartRangeCoder() {
    for (int i = 0; i < 5; ++i) {
      uint8_t b;
      if (!RangeByte(b)) return false;
      code = (code << 8) | b;
    }
    rangeStarted = true;
    return true;
  }

  int Read(uint8_t* out, size_t capacity, size_t& got) {
    got = 0;
    if (!rangeStarted && remaining > 0 && !StartRangeCoder()) return error;
    while (error == kOk && got < capacity && remaining > 0) {
      if (pendingPos < 4) {
        out[got++] = pending[pendingPos++];
        --remaining;
        ++outPos;
        continue;
      }
      if (main.pos == main.length && !main.Fill()) return Fail(main);
      // Copy plain bytes up to and including the next branch opcode.
      const uint8_t* data = main.data.data();
      size_t limit = std::min<uint64_t>({main.length - main.pos, capacity - got, remaining});
      size_t i = 0;
      bool branch = false;
      uint8_t b = 0;
      while (i < limit) {
        b = data[main.pos + i];
        out[got + i] = b;
        ++i;
        if ((b & 0xFE) == 0xE8 || (prevByte == 0x0F && (b & 0xF0) == 0x80)) {
          branch = true;
          break;
        }
        prevByte = b;
      }
      main.pos += i;
      got += i;
      remaining -= i;
      outPos += i;
      if (!branch || remaining == 0) continue;
      uint16_t& prob = b == 0xE8 ? probs[2 + prevByte] : probs[b == 0xE9 ? 0 : 1];
      int bit = DecodeBit(prob);
      if (bit < 0) return error;
      if (bit == 0) {
        prevByte = b;
        continue;
      }
      PullBuffer& targets = b == 0xE8 ? call : jump;
      uint32_t target = 0;
      for (int k = 0; k < 4; ++k) {
        uint8_t t;
        if (!targets.Byte(t)) return Fail(targets);
        target = (target << 8) | t;
      }
      uint32_t relative = target - uint32_t(outPos + 4);
      for (int k = 0; k < 4; ++k) pending[k] = uint8_t(relative >> (8 * k));
      pendingPos = 0;
      prevByte = uint8_t(relative >> 24);
    }
    return error;
  }
};

}  // namespace

size_t BcjX86Convert(uint8_t* data, size_t size, uint32_t ip, uint32_t& state) {
  static const bool kAllowedForMask[8] = {true, true, true, false, true, false, false, false};
  static const unsigned kBitNumberForMask[8] = {0, 1, 2, 2, 3, 3, 3, 3};
  if (size < 5) return 0;
  ip += 5;
  uint32_t prevMask = state & 7;
  size_t pos = 0;
  size_t prevPos = size_t(0) - 1;
  for (;;) {
    while (pos < size - 4 && (data[pos] & 0xFE) != 0xE8) ++pos;
    if (pos >= size - 4) break;
    uint8_t* p = data + pos;
    size_t gap = pos - prevPos;
    if (gap > 3) {
      prevMask = 0;
    } else {
      prevMask = (prevMask << (gap - 1)) & 7;
      if (prevMask != 0) {
        uint8_t b = p[4 - kBitNumberForMask[prevMask]];
        if (!kAllowedForMask[prevMask] || IsMostSignificantByte(b)) {
          prevPos = pos;
          prevMask = ((prevMask << 1) & 7) | 1;
          ++pos;
          continue;
        }
      }
    }
    prevPos = pos;
    if (!IsMostSignificantByte(p[4])) {
      prevMask = ((prevMask << 1) & 7) | 1;
      ++pos;
      continue;
    }
    uint32_t src = uint32_t(p[4]) << 24 | uint32_t(p[3]) << 16 | uint32_t(p[2]) << 8 | p[1];
    uint32_t dest;
    for (;;) {
      dest = src - (ip + uint32_t(pos));
      if (prevMask == 0) break;
      unsigned index = kBitNumberForMask[prevMask] * 8;
      uint8_t b = uint8_t(dest >> (24 - index));
      if (!IsMostSignificantByte(b)) break;
      src = dest ^ ((1u << (32 - index)) - 1);
    }
    p[4] = uint8_t(~(((dest >> 24) & 1) - 1));
    p[3] = uint8_t(dest >> 16);
    p[2] = uint8_t(dest >> 8);
    p[1] = uint8_t(dest);
    pos += 5;
  }
  size_t gap = pos - prevPos;
  state = gap > 3 ? 0 : ((prevMask << (gap - 1)) & 7);
  return pos;
}

PullFunction MakeBcjX86Decoder(PullFunction input) {
  auto state = std::make_shared<BcjState>();
  state->input = std::move(input);
  return [state](uint8_t* out, size_t capacity, size_t& got) { return state->Read(out, capacity, got); };
}

PullFunction MakeBcj2Decoder(PullFunction main, PullFunction call, PullFunction jump, PullFunction rangeCoder,
                             uint64_t unpackSize) {
  auto state = std::make_shared<Bcj2State>(std::move(main), std::move(call), std::move(jump),
                                           std::move(rangeCoder), unpackSize);
  return [state](uint8_t* out, size_t capacity, size_t& got) { return state->Read(out, capacity, got); };
}

}  // namespace archiver
