// A scriptable double of the download engine's client library, built as
// bin/engine-double/xldl.dll. It exports the XL_ functions of xldl.h, records
// what it is given, and answers as a test tells it to through the Double_
// functions below. No host process, no network, no files.
//
// Use from a test (before the first engine call of the program code):
//
//     SetDllDirectoryW(L"<build>\\bin\\engine-double");
//     ... the first adapter call loads the double as xldl.dll ...
//     HMODULE dll = GetModuleHandleW(L"xldl.dll");
//     auto reset = reinterpret_cast<DoubleResetCall>(GetProcAddress(dll, "Double_Reset"));
//
// or load it once yourself with LoadLibraryW(L"xldl.dll") after SetDllDirectoryW.
// DoubleFunctions (below) binds them all in one step.
//
// Tasks: XL_CreateTask hands out 1, 2, 3, ... A task starts with stat NOITEM;
// XL_StartTask makes it DOWNLOAD. Scripted percents (Double_SetPercents) are
// reported one per XL_QueryTaskInfoEx, the last one repeated; a reading of 1.0
// turns a DOWNLOAD task into COMPLETE.
// XL_QueryTaskInfoEx returns FALSE for a task it does not know, after
// XL_DeleteTask, and while Double_SetQueryFails holds. A state or record set
// with Double_SetState or Double_SetInfo stays as set.
// Every function is safe from several threads at once.
#ifndef QUILLMERE_XLDL_DOUBLE_H
#define QUILLMERE_XLDL_DOUBLE_H

#include <windows.h>

#include "xldl.h"

#ifdef __cplusplus
extern "C" {
#endif

// Forgets all tasks, records, counters and scripts.
void WINAPI Double_Reset(void);
// Records received by XL_CreateTask (failed calls included), and one of them:
// index 0 is the first. FALSE when there is no such record.
int WINAPI Double_ParamCount(void);
BOOL WINAPI Double_Param(int index, DownTaskParam* out);
// Tasks XL_CreateTask handed out.
int WINAPI Double_CreatedCount(void);
// The next `count` XL_CreateTask / XL_StartTask calls fail (0 / FALSE).
void WINAPI Double_FailNextCreate(int count);
void WINAPI Double_FailNextStart(int count);
// What XL_Init returns from now on (TRUE at first).
void WINAPI Double_SetInitResult(BOOL result);
int WINAPI Double_InitCount(void);
int WINAPI Double_UnInitCount(void);
// The path of the latest XL_SetMiniTpPath copied into buffer (cut to length
// units with a NUL); its length in units, or -1 when it was never called.
int WINAPI Double_MiniTpPath(wchar_t* buffer, int length);
// The calls received, oldest first, as names without "XL_" joined by blanks
// ("SetMiniTpPath Init CreateTask StartTask"); queries are not listed.
// Copied into buffer (cut to size bytes with a NUL); returns the full length.
int WINAPI Double_CallLog(char* buffer, int size);
// XL_StartTask calls for a task, and XL_QueryTaskInfoEx calls for it.
int WINAPI Double_StartCount(XL_TASK task);
int WINAPI Double_QueryCount(XL_TASK task);
// The whole record a task reports (stat, fail_code and fPercent included);
// scripted percents still override fPercent.
BOOL WINAPI Double_SetInfo(XL_TASK task, const DownTaskInfo* info);
BOOL WINAPI Double_SetState(XL_TASK task, int stat, int failCode);
BOOL WINAPI Double_SetPercents(XL_TASK task, const float* values, int count);
BOOL WINAPI Double_SetQueryFails(XL_TASK task, BOOL fails);

#ifdef __cplusplus
}

#include <type_traits>

// All Double_ functions, bound from the loaded double (GetModuleHandleW(L"xldl.dll")).
struct DoubleFunctions {
    void(WINAPI* reset)();
    int(WINAPI* paramCount)();
    BOOL(WINAPI* param)(int, DownTaskParam*);
    int(WINAPI* createdCount)();
    void(WINAPI* failNextCreate)(int);
    void(WINAPI* failNextStart)(int);
    void(WINAPI* setInitResult)(BOOL);
    int(WINAPI* initCount)();
    int(WINAPI* uninitCount)();
    int(WINAPI* miniTpPath)(wchar_t*, int);
    int(WINAPI* callLog)(char*, int);
    int(WINAPI* startCount)(XL_TASK);
    int(WINAPI* queryCount)(XL_TASK);
    BOOL(WINAPI* setInfo)(XL_TASK, const DownTaskInfo*);
    BOOL(WINAPI* setState)(XL_TASK, int, int);
    BOOL(WINAPI* setPercents)(XL_TASK, const float*, int);
    BOOL(WINAPI* setQueryFails)(XL_TASK, BOOL);

    // False when the double is not loaded or lacks a function.
    bool Bind() {
        HMODULE dll = GetModuleHandleW(L"xldl.dll");
        if (!dll) return false;
        bool all = true;
        auto get = [&](auto& slot, const char* name) {
            FARPROC address = GetProcAddress(dll, name);
            all = all && address != nullptr;
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(reinterpret_cast<void*>(address));
        };
        get(reset, "Double_Reset");
        get(paramCount, "Double_ParamCount");
        get(param, "Double_Param");
        get(createdCount, "Double_CreatedCount");
        get(failNextCreate, "Double_FailNextCreate");
        get(failNextStart, "Double_FailNextStart");
        get(setInitResult, "Double_SetInitResult");
        get(initCount, "Double_InitCount");
        get(uninitCount, "Double_UnInitCount");
        get(miniTpPath, "Double_MiniTpPath");
        get(callLog, "Double_CallLog");
        get(startCount, "Double_StartCount");
        get(queryCount, "Double_QueryCount");
        get(setInfo, "Double_SetInfo");
        get(setState, "Double_SetState");
        get(setPercents, "Double_SetPercents");
        get(setQueryFails, "Double_SetQueryFails");
        return all;
    }
};
#endif

#endif
