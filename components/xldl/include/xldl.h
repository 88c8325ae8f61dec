// Public interface of xldl.dll, the download engine's client library.
//
// The library does no downloading itself: XL_Init starts the engine's host
// process, MiniThunderPlatform.exe, hidden, from the path given to
// XL_SetMiniTpPath (or from the library's own folder when none was given), and
// every call is one request to the host over a named pipe. The host ends when
// XL_UnInit asks it to, and by itself when its client process ends. When the
// host dies, every task of the client reports stat ERROR with fail_code
// TASK_ERROR_MINITP_CRASHED, and a later XL_Init starts a new host.
//
// Every function may be called from several threads at once.
//
// Tasks: XL_CreateTask returns a small non-zero task number (0 on failure), so
// a handle also fits a 32-bit integer. A task downloads into a temporary file
// "<name>.qmdl" in its save folder, with its resume record "<name>.qmdl.info"
// beside it, and takes its final name only when it is complete and of the right
// size.
//
// Test setting: the environment variable QUILLMERE_ENGINE_TIMEOUT_MS, when set
// in the client before XL_Init, replaces the host's stall and connect time-out
// (default 30000 ms); the retry back-off shrinks with it.
//
// Records have fixed-size fields only and are byte-packed, so their layout is
// the same in 32-bit and 64-bit builds. Texts are NUL-terminated UTF-16.
#ifndef QUILLMERE_XLDL_H
#define QUILLMERE_XLDL_H

#include <windows.h>

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Field sizes in UTF-16 units, the terminating NUL included.
#define XL_URL_FIELD_LENGTH 2084
#define XL_COOKIES_FIELD_LENGTH 4096
#define XL_PATH_FIELD_LENGTH 260

// Task states (stat).
enum DOWN_TASK_STATUS {
  TSC_NOITEM = 0,        // created, not started
  TSC_ERROR = 1,     // failed; fail_code says why
  TSC_PAUSE = 2,     // stopped; XL_StartTask continues it
  TSC_DOWNLOAD = 3,  // downloading
  TSC_COMPLETE = 4,  // the file stands under its final name
  TSC_STARTPENDING = 5,
  TSC_STOPPENDING = 6
};

// Failure codes (fail_code).
enum TASK_ERROR_TYPE {
  TASK_ERROR_UNKNOWN = 0x00,
  TASK_ERROR_DISK_CREATE = 0x01,   // the file cannot be created (or exists and renaming is disabled)
  TASK_ERROR_DISK_WRITE = 0x02,
  TASK_ERROR_DISK_READ = 0x03,
  TASK_ERROR_DISK_RENAME = 0x04,   // the complete file cannot take its final name
  TASK_ERROR_DISK_PIECEHASH = 0x05,
  TASK_ERROR_DISK_FILEHASH = 0x06, // the complete file has not the announced size
  TASK_ERROR_DISK_DELETE = 0x07,
  TASK_ERROR_DOWN_INVALID = 0x10,  // invalid address, or the server answered with an HTTP error
  TASK_ERROR_PROXY_AUTH_TYPE_UNKOWN = 0x20,
  TASK_ERROR_PROXY_AUTH_TYPE_FAILED = 0x21,
  TASK_ERROR_HTTPMGR_NOT_IP = 0x30, // no server reachable (refused, dropped, TLS refused)
  TASK_ERROR_TIMEOUT = 0x40,       // the server stopped sending
  TASK_ERROR_CANCEL = 0x41,
  TASK_ERROR_MINITP_CRASHED = 0x42, // the host process died
  TASK_ERROR_ID_INVALID = 0x43
};

#pragma pack(push, 1)

// What XL_CreateTask needs. Start from all bytes zero; every reserved field
// stays zero. A text must end with a NUL within its field.
typedef struct DownTaskParam {
  int32_t nReserved1;                          // record version; callers write 5
  wchar_t szTaskUrl[XL_URL_FIELD_LENGTH];      // http:// or https:// address
  wchar_t szRefUrl[XL_URL_FIELD_LENGTH];       // Referer, empty: none
  wchar_t szCookies[XL_COOKIES_FIELD_LENGTH];  // Cookie header value, empty: none
  wchar_t szFilename[XL_PATH_FIELD_LENGTH];    // file name in the save folder
  wchar_t szSavePath[XL_PATH_FIELD_LENGTH];    // existing folder (a trailing backslash is optional)
  int32_t IsOnlyOriginal;                      // 1: only the task URL itself is a source (always so here)
  int32_t DisableAutoRename;                   // 1: an existing file of the name fails the task (code 1)
                                               // 0: the engine picks "name(1).ext", "name(2).ext", ...
  int32_t IsResume;                            // 1: continue the partial file of an earlier task of
                                               //    the same URL and name, when there is one
  uint8_t byReserved[8980];
} DownTaskParam;

// A task's state, as XL_QueryTaskInfoEx fills it.
typedef struct DownTaskInfo {
  int32_t stat;                                // DOWN_TASK_STATUS
  int32_t fail_code;                           // TASK_ERROR_TYPE, valid when stat is TSC_ERROR
  wchar_t szFilename[XL_PATH_FIELD_LENGTH];    // the final name chosen (after renaming), once known
  wchar_t szReserved0[XL_PATH_FIELD_LENGTH];
  int64_t nTotalSize;                          // bytes; 0 while unknown
  int64_t nTotalDownload;                      // valid bytes so far (moves back when a download restarts)
  float fPercent;                              // 0 .. below 1 while running, exactly 1.0 when complete
  int32_t nReserved0;
  int32_t nSrcTotal;                           // sources known (the task URL: 1)
  int32_t nSrcUsing;                           // connections now receiving
  int32_t nReserved1[4];
  int64_t nDonationP2P;                        // always 0: no peers
  int64_t nDonationOrgin;                      // bytes from the task URL
  int64_t nDonationP2S;                        // always 0: no mirrors
  int64_t nReserved2[2];
  int32_t nSpeed;                              // bytes per second, over the last seconds
  int32_t nSpeedP2S;
  int32_t nSpeedP2P;
  int32_t bIsOriginUsable;                     // the task URL answered as a source
  float fHashPercent;
  int32_t IsCreatingFile;                      // 1 until the temporary file is open
  uint8_t byReserved[256];
} DownTaskInfo;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(wchar_t) == 2, "the engine's texts are UTF-16");
static_assert(sizeof(DownTaskParam) == 26564, "DownTaskParam is 26,564 bytes");
static_assert(sizeof(DownTaskInfo) == 1416, "DownTaskInfo is 1,416 bytes");
#endif

// The task number XL_CreateTask returns; 0 means failure.
typedef UINT_PTR XL_TASK;

// Starts the host (or keeps the running one); TRUE when it answers.
BOOL WINAPI XL_Init(void);
// Ends the host and every task; TRUE when it was running.
BOOL WINAPI XL_UnInit(void);
// The full path of MiniThunderPlatform.exe, used by the next XL_Init.
void WINAPI XL_SetMiniTpPath(const wchar_t* path);
// A new task, not started; 0 for bad input (an empty, overlong or non-http(s)
// URL, a text without NUL in its field, a save folder that does not exist) or
// when the host is not running.
XL_TASK WINAPI XL_CreateTask(const DownTaskParam* param);
BOOL WINAPI XL_StartTask(XL_TASK task);
// Stops a task, keeping its partial file for XL_StartTask.
BOOL WINAPI XL_StopTask(XL_TASK task);
// The same, without waiting for the connections to wind down.
BOOL WINAPI XL_ForceStopTask(XL_TASK task);
// Forgets a task; a partial file is removed, a complete one stays.
BOOL WINAPI XL_DeleteTask(XL_TASK task);
// FALSE for a task the engine does not know (and after XL_UnInit).
BOOL WINAPI XL_QueryTaskInfoEx(XL_TASK task, DownTaskInfo* info);
// Upload limits in KB/s (TCP, others). The engine uploads nothing; accepted and kept.
void WINAPI XL_SetUploadSpeedLimit(int32_t tcpLimitKBps, int32_t otherLimitKBps);

#ifdef __cplusplus
}
#endif

#endif
