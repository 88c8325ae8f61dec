// Public interface of 7-zip32.dll, the archiver library that unpacks 7z
// archives from 7-Zip style command lines.
//
// Commands: "x" (keep paths) or "e" (flatten paths), the archive, the output
// folder (a bare argument ending in a backslash, or -o<folder>), file patterns
// ("*" for all) and the switches -y (overwrite without asking), -hide (accepted,
// no window is ever shown) and -p<password> (quoted, may be empty). Command
// text is GBK (code page 936).
//
// Every record below has fixed-size fields only, so its layout is the same in
// 32-bit and 64-bit builds.
#ifndef QUILLMERE_SEVENZIP32_H
#define QUILLMERE_SEVENZIP32_H

#include <windows.h>

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Size of the name fields, including the terminating NUL.
#define SEVENZIP_NAME_FIELD_SIZE 513

// Notification states passed to the progress routine. Every notification's
// info points at a SevenZipExtractingInfoEx. A failed or cancelled run sends
// no end notification.
#define SEVENZIP_STATE_BEGIN 0      // a file is about to be written; writeSize is 0
#define SEVENZIP_STATE_PROGRESS 1   // bytes were written to the current file (at most 1 MB apart)
#define SEVENZIP_STATE_END 2        // the run finished successfully (sent once, last);
                                    // fileSize and writeSize hold the run's total bytes

// Results of SevenZip. 0 is success; every failure has its own code.
#define SEVENZIP_OK 0
#define SEVENZIP_ERROR_COMMAND 0x8001        // command line not understood
#define SEVENZIP_ERROR_ARCHIVE_OPEN 0x8002   // archive file cannot be opened or read
#define SEVENZIP_ERROR_NOT_7Z 0x8003         // no 7z signature
#define SEVENZIP_ERROR_HEADER 0x8004         // malformed or truncated archive header
#define SEVENZIP_ERROR_UNSUPPORTED 0x8005    // compression method or encryption not supported
#define SEVENZIP_ERROR_DATA 0x8006           // packed data corrupt or truncated
#define SEVENZIP_ERROR_CRC 0x8007            // a file's CRC32 does not match
#define SEVENZIP_ERROR_UNSAFE_PATH 0x8008    // entry name would leave the output folder
#define SEVENZIP_ERROR_LIMIT 0x8009          // dictionary, size or count above the safe limit
#define SEVENZIP_ERROR_WRITE 0x800A          // output file or folder cannot be written
#define SEVENZIP_ERROR_CANCELLED 0x800B      // the progress routine returned FALSE
#define SEVENZIP_ERROR_NO_MEMORY 0x800C      // an allocation failed
#define SEVENZIP_ERROR_FILE_EXISTS 0x800D    // target exists and -y was not given

// The window message number passed to the progress routine is the one the
// system assigns to this registered message name.
#define SEVENZIP_PROGRESS_MESSAGE_NAME "wm_arcextract"

// Basic extraction-info record: the leading part of SevenZipExtractingInfoEx.
typedef struct SevenZipExtractingInfo {
  ULONGLONG fileSize;                              // size of the file being extracted
  ULONGLONG writeSize;                             // bytes of it written so far
  char sourceFileName[SEVENZIP_NAME_FIELD_SIZE];   // name inside the archive, GBK, NUL-terminated
  char destFileName[SEVENZIP_NAME_FIELD_SIZE];     // full destination path, GBK, NUL-terminated
  BYTE reserved[6];                                // keeps the record a multiple of 8 bytes
} SevenZipExtractingInfo;

// Extended extraction-info record: what the progress routine's info points at.
typedef struct SevenZipExtractingInfoEx {
  SevenZipExtractingInfo basic;
  ULONGLONG modifiedTime;   // FILETIME value as one 64-bit number; 0 when the archive has none
  DWORD attributes;         // Windows file attributes
  DWORD crc;                // CRC32 recorded in the archive; 0 when none
  DWORD fileIndex;          // 1-based number of this file among the files of the run
  DWORD fileCount;          // files selected for the run
  char method[32];          // coder chain of the file's block, e.g. "LZMA2:24 BCJ"
} SevenZipExtractingInfoEx;

// Progress routine: return TRUE to go on, FALSE to cancel the run.
typedef BOOL(WINAPI* SevenZipProgressRoutine)(HWND window, UINT message, UINT state, LPVOID info);

// Runs one command to its end. Writes a short report or an error text into
// output when outputSize allows (outputSize 0: nothing is written).
int WINAPI SevenZip(HWND window, LPCSTR command, LPSTR output, DWORD outputSize);

// Registers the progress routine for the runs that follow (NULL removes it).
BOOL WINAPI SevenZipSetOwnerWindowEx(HWND window, SevenZipProgressRoutine routine);

typedef int(WINAPI* SevenZipFunction)(HWND, LPCSTR, LPSTR, DWORD);
typedef BOOL(WINAPI* SevenZipSetOwnerWindowExFunction)(HWND, SevenZipProgressRoutine);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(SevenZipExtractingInfo) == 1048, "basic record layout is fixed");
static_assert(offsetof(SevenZipExtractingInfo, destFileName) == 529, "basic record layout is fixed");
static_assert(sizeof(SevenZipExtractingInfoEx) == 1104, "extended record layout is fixed");
#endif

#endif  // QUILLMERE_SEVENZIP32_H
