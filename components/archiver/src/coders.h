// The decoders a folder may chain. Each takes its input streams and returns
// its output as a pull stream; the first error sticks.
#pragma once
#include <cstdint>
#include <vector>

#include "pull_stream.h"

namespace archiver {

// LZMA with the 5-byte properties; produces exactly unpackSize bytes.
int MakeLzmaDecoder(PullFunction input, const std::vector<uint8_t>& properties, uint64_t unpackSize,
                    PullFunction& output);

// LZMA2 with its 1-byte dictionary property; chunks until the end marker.
int MakeLzma2Decoder(PullFunction input, const std::vector<uint8_t>& properties, uint64_t unpackSize,
                     PullFunction& output);

// The x86 branch converter (BCJ) over a single input.
PullFunction MakeBcjX86Decoder(PullFunction input);

// BCJ2 over its four inputs: main, call, jump and range-coded selector streams.
PullFunction MakeBcj2Decoder(PullFunction main, PullFunction call, PullFunction jump, PullFunction rangeCoder,
                             uint64_t unpackSize);

// The in-place x86 conversion: converts data[0..result) and keeps state for the
// rest; ip is the stream position of data[0].
size_t BcjX86Convert(uint8_t* data, size_t size, uint32_t ip, uint32_t& state);

}  // namespace archiver
