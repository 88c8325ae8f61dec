// Numbered results of the archive code. The values equal the public
// SEVENZIP_ERROR_* codes; this header stays free of Win32 so the container
// reader and the decoders also build natively.
#pragma once

namespace archiver {

enum ArchiveError : int {
  kOk = 0,
  kErrorCommand = 0x8001,
  kErrorArchiveOpen = 0x8002,
  kErrorNot7z = 0x8003,
  kErrorHeader = 0x8004,
  kErrorUnsupported = 0x8005,
  kErrorData = 0x8006,
  kErrorCrc = 0x8007,
  kErrorUnsafePath = 0x8008,
  kErrorLimit = 0x8009,
  kErrorWrite = 0x800A,
  kErrorCancelled = 0x800B,
  kErrorNoMemory = 0x800C,
  kErrorFileExists = 0x800D,
};

// Bounds on what an archive may ask for before anything is allocated.
constexpr unsigned long long kMaxHeaderSize = 64ull << 20;
constexpr unsigned long long kMaxDictionarySize = 512ull << 20;
constexpr unsigned kMaxCodersPerFolder = 8;
constexpr unsigned kMaxStreamsPerFolder = 16;

}  // namespace archiver
