// What the long run measures and prints: one sample a minute of the program's
// handles, private memory and table, and at the end a figures block that can
// go into the README as it stands.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct Sample {
    double minute = 0;
    long handles = -1;          // of Quillmere.exe
    SIZE_T privateBytes = 0;
    long engineHandles = -1;    // of the engine's host process, -1 when none runs
    SIZE_T enginePrivateBytes = 0;
    int rows = 0, done = 0, failed = 0, live = 0;
    int engineProcesses = 0;
};

struct RunFigures {
    double playMinutes = 0;
    double drainSeconds = 0;
    std::map<std::string, int> linksByKind;   // "video", "404", "live", ...
    std::map<std::string, int> faultsByKind;  // "drop_prob", "stall_after", ...
    int rows = 0, videoRows = 0, liveRows = 0;
    int downloadsCompleted = 0;               // rows at 100% with one byte-identical file
    int failuresSeen = 0;                     // failures of a row, each seen in one way or both:
    int failedRowsSeen = 0;                   //   times a row was seen turning to "下载失败"
    int failureMessagesSeen = 0;              //   "<ID>下载失败，错误信息：..." texts seen
    std::map<std::wstring, int> failureReasons;  // the engine's texts after the colon
    long long bytesServed = 0;                // of the valid videos
    unsigned long long longestWaitMs = 0;     // for the window to answer a message
    int otherFiles = 0;                       // files in the video folder that are no row's final file
    long long otherFileBytes = 0;
    Sample start, warmUp, end, max;
};

// UTF-8 for the console, from the window's UTF-16 texts.
std::string Utf8(const std::wstring& text);

void PrintSampleHeader();
void PrintSample(const Sample& sample, const char* label);
// The largest value of every figure seen so far.
void KeepMaximum(Sample& max, const Sample& sample);
void PrintFigures(const RunFigures& figures);
