// The scriptable engine double (see xldl_double.h): one lock around one
// process-wide record of everything it was given and told.
#include "xldl_double.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Task {
    DownTaskInfo info{};
    std::vector<float> percents;
    std::size_t nextPercent = 0;
    bool stateFixed = false;
    bool queryFails = false;
    int starts = 0;
    int queries = 0;
};

struct DoubleState {
    std::mutex lock;
    std::vector<DownTaskParam> params;
    std::map<XL_TASK, Task> tasks;
    XL_TASK nextTask = 1;
    int created = 0;
    int failCreates = 0;
    int failStarts = 0;
    BOOL initResult = TRUE;
    int inits = 0;
    int uninits = 0;
    bool hasPath = false;
    std::wstring miniTpPath;
    std::string callLog;

    void Log(const char* call) {
        if (!callLog.empty()) callLog += ' ';
        callLog += call;
    }
};

DoubleState& State() {
    static DoubleState state;
    return state;
}

// Runs `change` on a known task under the lock; FALSE for an unknown one.
template <typename Change>
BOOL OnTask(XL_TASK task, Change change) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    auto found = s.tasks.find(task);
    if (found == s.tasks.end()) return FALSE;
    change(found->second);
    return TRUE;
}

template <typename Change>
BOOL LoggedOnTask(const char* call, XL_TASK task, Change change) {
    {
        DoubleState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        s.Log(call);
    }
    return OnTask(task, change);
}

}  // namespace

extern "C" {

BOOL WINAPI XL_Init(void) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.Log("Init");
    ++s.inits;
    return s.initResult;
}

BOOL WINAPI XL_UnInit(void) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.Log("UnInit");
    ++s.uninits;
    return TRUE;
}

void WINAPI XL_SetMiniTpPath(const wchar_t* path) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.Log("SetMiniTpPath");
    s.hasPath = true;
    s.miniTpPath = path ? path : L"";
}

XL_TASK WINAPI XL_CreateTask(const DownTaskParam* param) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.Log("CreateTask");
    if (param) s.params.push_back(*param);
    if (s.failCreates > 0) {
        --s.failCreates;
        return 0;
    }
    if (!param) return 0;
    const XL_TASK task = s.nextTask++;
    ++s.created;
    s.tasks[task].info.stat = TSC_NOITEM;
    return task;
}

BOOL WINAPI XL_StartTask(XL_TASK task) {
    {
        DoubleState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        s.Log("StartTask");
        if (s.failStarts > 0 && s.tasks.count(task)) {
            --s.failStarts;
            ++s.tasks[task].starts;
            return FALSE;
        }
    }
    return OnTask(task, [](Task& t) {
        ++t.starts;
        if (!t.stateFixed) t.info.stat = TSC_DOWNLOAD;
    });
}

BOOL WINAPI XL_StopTask(XL_TASK task) {
    return LoggedOnTask("StopTask", task, [](Task& t) {
        if (!t.stateFixed) t.info.stat = TSC_PAUSE;
    });
}

BOOL WINAPI XL_ForceStopTask(XL_TASK task) {
    return LoggedOnTask("ForceStopTask", task, [](Task& t) {
        if (!t.stateFixed) t.info.stat = TSC_PAUSE;
    });
}

BOOL WINAPI XL_DeleteTask(XL_TASK task) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.Log("DeleteTask");
    return s.tasks.erase(task) ? TRUE : FALSE;
}

BOOL WINAPI XL_QueryTaskInfoEx(XL_TASK task, DownTaskInfo* info) {
    if (!info) return FALSE;
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    auto found = s.tasks.find(task);
    if (found == s.tasks.end()) return FALSE;
    Task& t = found->second;
    ++t.queries;
    if (t.queryFails) return FALSE;
    if (!t.percents.empty()) {
        t.info.fPercent = t.percents[t.nextPercent];
        if (t.nextPercent + 1 < t.percents.size()) ++t.nextPercent;
        if (t.info.fPercent >= 1.0f && t.info.stat == TSC_DOWNLOAD && !t.stateFixed) t.info.stat = TSC_COMPLETE;
    }
    *info = t.info;
    return TRUE;
}

void WINAPI XL_SetUploadSpeedLimit(int32_t, int32_t) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.Log("SetUploadSpeedLimit");
}

void WINAPI Double_Reset(void) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.params.clear();
    s.tasks.clear();
    s.nextTask = 1;
    s.created = s.failCreates = s.failStarts = s.inits = s.uninits = 0;
    s.initResult = TRUE;
    s.hasPath = false;
    s.miniTpPath.clear();
    s.callLog.clear();
}

int WINAPI Double_ParamCount(void) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return static_cast<int>(s.params.size());
}

BOOL WINAPI Double_Param(int index, DownTaskParam* out) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!out || index < 0 || static_cast<std::size_t>(index) >= s.params.size()) return FALSE;
    *out = s.params[static_cast<std::size_t>(index)];
    return TRUE;
}

int WINAPI Double_CreatedCount(void) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.created;
}

void WINAPI Double_FailNextCreate(int count) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.failCreates = count;
}

void WINAPI Double_FailNextStart(int count) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.failStarts = count;
}

void WINAPI Double_SetInitResult(BOOL result) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.initResult = result;
}

int WINAPI Double_InitCount(void) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.inits;
}

int WINAPI Double_UnInitCount(void) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.uninits;
}

int WINAPI Double_MiniTpPath(wchar_t* buffer, int length) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.hasPath) return -1;
    if (buffer && length > 0) {
        const std::size_t copied = std::min(s.miniTpPath.size(), static_cast<std::size_t>(length - 1));
        std::memcpy(buffer, s.miniTpPath.data(), copied * sizeof(wchar_t));
        buffer[copied] = L'\0';
    }
    return static_cast<int>(s.miniTpPath.size());
}

int WINAPI Double_CallLog(char* buffer, int size) {
    DoubleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (buffer && size > 0) {
        const std::size_t copied = std::min(s.callLog.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, s.callLog.data(), copied);
        buffer[copied] = '\0';
    }
    return static_cast<int>(s.callLog.size());
}

int WINAPI Double_StartCount(XL_TASK task) {
    int count = 0;
    OnTask(task, [&](Task& t) { count = t.starts; });
    return count;
}

int WINAPI Double_QueryCount(XL_TASK task) {
    int count = 0;
    OnTask(task, [&](Task& t) { count = t.queries; });
    return count;
}

BOOL WINAPI Double_SetInfo(XL_TASK task, const DownTaskInfo* info) {
    if (!info) return FALSE;
    return OnTask(task, [&](Task& t) {
        t.info = *info;
        t.stateFixed = true;
    });
}

BOOL WINAPI Double_SetState(XL_TASK task, int stat, int failCode) {
    return OnTask(task, [&](Task& t) {
        t.info.stat = stat;
        t.info.fail_code = failCode;
        t.stateFixed = true;
    });
}

BOOL WINAPI Double_SetPercents(XL_TASK task, const float* values, int count) {
    if (!values || count <= 0) return FALSE;
    return OnTask(task, [&](Task& t) {
        t.percents.assign(values, values + count);
        t.nextPercent = 0;
    });
}

BOOL WINAPI Double_SetQueryFails(XL_TASK task, BOOL fails) {
    return OnTask(task, [&](Task& t) { t.queryFails = fails != FALSE; });
}

}  // extern "C"
