// LZMA and LZMA2 over the public-domain LzmaDec. The dictionary is never
// larger than the output can be: a 64 MB dictionary for a 10 KB stream costs
// 10 KB. Distances can never exceed what was produced, so a buffer that holds
// the whole output decodes the stream exactly as the full dictionary would.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "LzmaDec.h"
#include "archive_error.h"
#include "coders.h"

// Defined in LzmaDec.c but not declared in its header; the LZMA2 chunk layer
// needs it to reset the dictionary and the state separately.
extern "C" void LzmaDec_InitDicAndState(CLzmaDec* p, Bool initDic, Bool initState);

namespace archiver {
namespace {

constexpr size_t kInputChunk = 1 << 16;
constexpr uint32_t kMinDictionary = 1 << 12;

void* AllocateBytes(void*, size_t size) { return size ? std::malloc(size) : nullptr; }
void FreeBytes(void*, void* address) { std::free(address); }
ISzAlloc kAllocator = {AllocateBytes, FreeBytes};

uint32_t EffectiveDictionary(uint64_t declared, uint64_t unpackSize) {
  uint64_t size = std::min(declared, std::max<uint64_t>(unpackSize, kMinDictionary));
  return uint32_t(std::max<uint64_t>(size, kMinDictionary));
}

struct LzmaState {
  CLzmaDec decoder;
  PullBuffer input;
  uint64_t remaining;
  int error = kOk;

  LzmaState(PullFunction in, uint64_t size) : input(std::move(in), kInputChunk), remaining(size) {
    LzmaDec_Construct(&decoder);
  }
  ~LzmaState() { LzmaDec_Free(&decoder, &kAllocator); }

  int Read(uint8_t* buffer, size_t capacity, size_t& got) {
    got = 0;
    while (error == kOk && got < capacity && remaining > 0) {
      if (input.pos == input.length && !input.Fill()) {
        error = input.error ? input.error : kErrorData;  // packed data ran out
        break;
      }
      SizeT outLength = SizeT(std::min<uint64_t>(capacity - got, remaining));
      SizeT inLength = input.length - input.pos;
      ELzmaStatus status;
      SRes res = LzmaDec_DecodeToBuf(&decoder, buffer + got, &outLength, input.data.data() + input.pos,
                                     &inLength, LZMA_FINISH_ANY, &status);
      input.pos += inLength;
      got += outLength;
      remaining -= outLength;
      if (res != SZ_OK) error = kErrorData;
      else if (status == LZMA_STATUS_FINISHED_WITH_MARK && remaining > 0) error = kErrorData;
      else if (outLength == 0 && inLength == 0 && input.pos < input.length) error = kErrorData;
    }
    return error;
  }
};

// LZMA2 chunk layer: a control byte per chunk says whether it is stored or
// LZMA-coded and which of dictionary, state and properties are reset.
struct Lzma2State {
  CLzmaDec decoder;
  PullBuffer input;
  uint64_t remaining;
  std::vector<uint8_t> dictionary;
  size_t outPos = 0;  // dictionary bytes not yet handed out lie in [outPos, decoder.dicPos)
  uint32_t chunkUnpackLeft = 0;
  uint32_t chunkPackLeft = 0;
  bool chunkIsLzma = false;
  bool needDictionaryReset = true;
  bool needProperties = true;
  bool finished = false;
  int error = kOk;

  Lzma2State(PullFunction in, uint64_t size) : input(std::move(in), kInputChunk), remaining(size) {
    LzmaDec_Construct(&decoder);
  }
  ~Lzma2State() { LzmaDec_FreeProbs(&decoder, &kAllocator); }

  int Fail(int code) { return error = code; }

  bool ReadByte(uint8_t& b) {
    if (input.Byte(b)) return true;
    Fail(input.error ? input.error : kErrorData);
    return false;
  }

  int StartChunk() {
    uint8_t control, b1, b2;
    if (!ReadByte(control)) return error;
    if (control == 0) {
      finished = true;
      return kOk;
    }
    if (control > 2 && control < 0x80) return Fail(kErrorData);
    if (!ReadByte(b1) || !ReadByte(b2)) return error;
    chunkUnpackLeft = ((uint32_t(control & 0x1F) << 16) | uint32_t(b1) << 8 | b2) + 1;
    if (control < 0x80) {  // stored chunk: the size has no high bits in the control byte
      chunkUnpackLeft = ((uint32_t(b1) << 8) | b2) + 1;
      chunkIsLzma = false;
      bool resetDictionary = control == 1;
      if (!resetDictionary && needDictionaryReset) return Fail(kErrorData);
      needDictionaryReset = false;
      LzmaDec_InitDicAndState(&decoder, resetDictionary ? 1 : 0, 0);
      return kOk;
    }
    if (!ReadByte(b1) || !ReadByte(b2)) return error;
    chunkPackLeft = ((uint32_t(b1) << 8) | b2) + 1;
    chunkIsLzma = true;
    unsigned mode = (control >> 5) & 3;
    if (mode >= 2) {
      uint8_t props;
      if (!ReadByte(props)) return error;
      if (props >= 9 * 5 * 5) return Fail(kErrorData);
      unsigned lc = props % 9, lp = (props / 9) % 5;
      if (lc + lp > 4) return Fail(kErrorData);
      decoder.prop.lc = lc;
      decoder.prop.lp = lp;
      decoder.prop.pb = props / 45;
      needProperties = false;
    }
    if (needProperties || (mode != 3 && needDictionaryReset)) return Fail(kErrorData);
    needDictionaryReset = false;
    LzmaDec_InitDicAndState(&decoder, mode == 3 ? 1 : 0, mode >= 1 ? 1 : 0);
    return kOk;
  }

  // Decodes or copies more of the current chunk into the dictionary.
  int Advance() {
    size_t room = std::min<size_t>(chunkUnpackLeft, dictionary.size() - decoder.dicPos);
    if (!chunkIsLzma) {
      if (!input.Fill()) return Fail(input.error ? input.error : kErrorData);
      size_t n = std::min(room, input.length - input.pos);
      std::memcpy(decoder.dic + decoder.dicPos, input.data.data() + input.pos, n);
      input.pos += n;
      decoder.dicPos += n;
      if (decoder.checkDicSize == 0 && decoder.prop.dicSize - decoder.processedPos <= n)
        decoder.checkDicSize = decoder.prop.dicSize;
      decoder.processedPos += uint32_t(n);
      chunkUnpackLeft -= uint32_t(n);
      return kOk;
    }
    if (!input.Fill()) return Fail(input.error ? input.error : kErrorData);
    SizeT inLength = std::min<size_t>(chunkPackLeft, input.length - input.pos);
    SizeT before = decoder.dicPos;
    ELzmaStatus status;
    bool lastPart = room == chunkUnpackLeft;
    SRes res = LzmaDec_DecodeToDic(&decoder, before + room, input.data.data() + input.pos, &inLength,
                                   lastPart ? LZMA_FINISH_END : LZMA_FINISH_ANY, &status);
    input.pos += inLength;
    chunkPackLeft -= uint32_t(inLength);
    size_t produced = decoder.dicPos - before;
    chunkUnpackLeft -= uint32_t(produced);
    if (res != SZ_OK || status == LZMA_STATUS_FINISHED_WITH_MARK) return Fail(kErrorData);
    if (chunkUnpackLeft == 0 && chunkPackLeft != 0) return Fail(kErrorData);
    if (chunkUnpackLeft != 0 && chunkPackLeft == 0 && produced == 0) return Fail(kErrorData);
    if (produced == 0 && inLength == 0) return Fail(kErrorData);
    return kOk;
  }

  int Read(uint8_t* buffer, size_t capacity, size_t& got) {
    got = 0;
    while (error == kOk && got < capacity) {
      if (outPos < decoder.dicPos) {
        size_t n = std::min(capacity - got, decoder.dicPos - outPos);
        if (n > remaining) return Fail(kErrorData);
        std::memcpy(buffer + got, decoder.dic + outPos, n);
        outPos += n;
        got += n;
        remaining -= n;
        continue;
      }
      if (finished) {
        if (remaining != 0) Fail(kErrorData);
        break;
      }
      if (decoder.dicPos == dictionary.size()) outPos = decoder.dicPos = 0;  // wrap the window
      if (chunkUnpackLeft == 0) {
        if (StartChunk()) break;
        continue;
      }
      Advance();
    }
    return error;
  }
};

}  // namespace

int MakeLzmaDecoder(PullFunction input, const std::vector<uint8_t>& properties, uint64_t unpackSize,
                    PullFunction& output) {
  if (properties.size() != LZMA_PROPS_SIZE) return kErrorUnsupported;
  uint32_t declared = uint32_t(properties[1]) | uint32_t(properties[2]) << 8 | uint32_t(properties[3]) << 16 |
                      uint32_t(properties[4]) << 24;
  uint32_t dictionary = EffectiveDictionary(declared, unpackSize);
  if (dictionary > kMaxDictionarySize) return kErrorLimit;
  uint8_t props[LZMA_PROPS_SIZE] = {properties[0], uint8_t(dictionary), uint8_t(dictionary >> 8),
                                    uint8_t(dictionary >> 16), uint8_t(dictionary >> 24)};
  auto state = std::make_shared<LzmaState>(std::move(input), unpackSize);
  SRes res = LzmaDec_Allocate(&state->decoder, props, LZMA_PROPS_SIZE, &kAllocator);
  if (res == SZ_ERROR_MEM) return kErrorNoMemory;
  if (res != SZ_OK) return kErrorUnsupported;
  LzmaDec_Init(&state->decoder);
  output = [state](uint8_t* buffer, size_t capacity, size_t& got) { return state->Read(buffer, capacity, got); };
  return kOk;
}

int MakeLzma2Decoder(PullFunction input, const std::vector<uint8_t>& properties, uint64_t unpackSize,
                     PullFunction& output) {
  if (properties.size() != 1 || properties[0] > 40) return kErrorUnsupported;
  uint64_t declared = properties[0] == 40 ? 0xFFFFFFFFull : (uint64_t(2 | (properties[0] & 1)) << (properties[0] / 2 + 11));
  uint32_t dictionary = EffectiveDictionary(declared, unpackSize);
  if (dictionary > kMaxDictionarySize) return kErrorLimit;
  auto state = std::make_shared<Lzma2State>(std::move(input), unpackSize);
  // Probabilities for the largest lc+lp (4) so that any chunk's properties fit.
  uint8_t props[LZMA_PROPS_SIZE] = {4, uint8_t(dictionary), uint8_t(dictionary >> 8), uint8_t(dictionary >> 16),
                                    uint8_t(dictionary >> 24)};
  if (LzmaDec_AllocateProbs(&state->decoder, props, LZMA_PROPS_SIZE, &kAllocator) != SZ_OK) return kErrorNoMemory;
  try {
    state->dictionary.resize(dictionary);
  } catch (const std::bad_alloc&) {
    return kErrorNoMemory;
  }
  state->decoder.dic = state->dictionary.data();
  state->decoder.dicPos = 0;
  state->decoder.dicBufSize = dictionary;
  state->decoder.prop.dicSize = dictionary;
  output = [state](uint8_t* buffer, size_t capacity, size_t& got) { return state->Read(buffer, capacity, got); };
  return kOk;
}

}  // namespace archiver
