// The adapter's task operations. Each engine function is bound once, on its
// first call (a function-local static, so concurrent first calls bind it once),
// from the library folder that the deployment set.
#include "engine/xl_engine.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/library_binding.h"
#include "xldl.h"

namespace {

using BoolCall = BOOL(WINAPI*)();
using TaskCall = BOOL(WINAPI*)(XL_TASK);
using CreateTaskCall = XL_TASK(WINAPI*)(const DownTaskParam*);
using QueryCall = BOOL(WINAPI*)(XL_TASK, DownTaskInfo*);
using SpeedLimitCall = void(WINAPI*)(int32_t, int32_t);

template <typename Function>
Function Bind(const char* name) {
    return BindLibraryFunctionAs<Function>(L"xldl.dll", name);
}

// The engine's record for one task, or nullptr when the engine does not know it.
std::unique_ptr<DownTaskInfo> QueryInfo(TaskHandle task) {
    static const QueryCall query = Bind<QueryCall>("XL_QueryTaskInfoEx");
    auto info = std::make_unique<DownTaskInfo>();
    std::memset(info.get(), 0, sizeof *info);
    if (!query(static_cast<XL_TASK>(task), info.get())) return nullptr;
    return info;
}

// Copies the UTF-16 form of a text into a field; an empty text leaves it zero.
// A text that does not fit is cut at the field's end without a NUL, which the
// engine refuses; nothing beyond the field is ever written.
void CopyText(const XlEngine& engine, const std::string& text, wchar_t* field, std::size_t fieldLength) {
    if (text.empty()) return;
    const std::vector<std::uint8_t> wide = engine.WideBytes(text);
    std::memcpy(field, wide.data(), std::min(wide.size(), fieldLength * sizeof(wchar_t)));
}

}  // namespace

bool XlEngine::Uninit() {
    static const BoolCall uninit = Bind<BoolCall>("XL_UnInit");
    return uninit() != FALSE;
}

std::vector<std::uint8_t> XlEngine::WideBytes(const std::string& text) const {
    const int length = MultiByteToWideChar(936, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) return {};
    std::vector<wchar_t> scratch(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(936, 0, text.c_str(), -1, scratch.data(), length);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(scratch.data());
    return std::vector<std::uint8_t>(bytes, bytes + 2 * static_cast<std::size_t>(length));
}

TaskHandle XlEngine::CreateTask(const std::string& url, std::optional<std::string> referer,
                                std::optional<std::string> cookies, const std::string& fileName,
                                const std::string& savePath, std::optional<int> originOnly,
                                std::optional<int> disableAutoRename, int resume) {
    static const CreateTaskCall create = Bind<CreateTaskCall>("XL_CreateTask");
    auto param = std::make_unique<DownTaskParam>();  // 26 KB: not on a pool worker's stack
    std::memset(param.get(), 0, sizeof *param);
    param->nReserved1 = 5;
    CopyText(*this, url, param->szTaskUrl, XL_URL_FIELD_LENGTH);
    CopyText(*this, referer.value_or(std::string()), param->szRefUrl, XL_URL_FIELD_LENGTH);
    CopyText(*this, cookies.value_or(std::string()), param->szCookies, XL_COOKIES_FIELD_LENGTH);
    CopyText(*this, fileName, param->szFilename, XL_PATH_FIELD_LENGTH);
    CopyText(*this, savePath, param->szSavePath, XL_PATH_FIELD_LENGTH);
    param->IsOnlyOriginal = originOnly.value_or(0) == 1 ? 1 : 0;
    param->DisableAutoRename = disableAutoRename.value_or(0) == 1 ? 1 : 0;
    param->IsResume = resume == 1 ? 1 : 0;
    return static_cast<TaskHandle>(create(param.get()));
}

bool XlEngine::StartTask(TaskHandle task) {
    static const TaskCall start = Bind<TaskCall>("XL_StartTask");
    return start(static_cast<XL_TASK>(task)) != FALSE;
}

bool XlEngine::StopTask(TaskHandle task) {
    static const TaskCall stop = Bind<TaskCall>("XL_StopTask");
    return stop(static_cast<XL_TASK>(task)) != FALSE;
}

bool XlEngine::ForceStopTask(TaskHandle task) {
    static const TaskCall forceStop = Bind<TaskCall>("XL_ForceStopTask");
    return forceStop(static_cast<XL_TASK>(task)) != FALSE;
}

bool XlEngine::DeleteTask(TaskHandle task) {
    static const TaskCall remove = Bind<TaskCall>("XL_DeleteTask");
    return remove(static_cast<XL_TASK>(task)) != FALSE;
}

namespace {

// One field of the task's record, or zero when the engine cannot be asked.
template <typename Field>
Field QueryField(TaskHandle task, Field DownTaskInfo::*field) {
    const auto info = QueryInfo(task);
    return info ? (*info).*field : Field{};
}

}  // namespace

std::string XlEngine::QueryStatusText(TaskHandle task) {
    const auto info = QueryInfo(task);
    return info ? StatusText(info->stat) : std::string();
}

std::string XlEngine::QueryErrorText(TaskHandle task) {
    const auto info = QueryInfo(task);
    return info ? ErrorText(info->fail_code) : std::string();
}

std::int64_t XlEngine::QueryTotalSize(TaskHandle task) { return QueryField(task, &DownTaskInfo::nTotalSize); }

std::int64_t XlEngine::QueryDownloaded(TaskHandle task) { return QueryField(task, &DownTaskInfo::nTotalDownload); }

float XlEngine::QueryPercent(TaskHandle task) { return QueryField(task, &DownTaskInfo::fPercent); }

std::int32_t XlEngine::QuerySourceCount(TaskHandle task) { return QueryField(task, &DownTaskInfo::nSrcTotal); }

std::int32_t XlEngine::QuerySourcesInUse(TaskHandle task) { return QueryField(task, &DownTaskInfo::nSrcUsing); }

std::int64_t XlEngine::QueryP2pBytes(TaskHandle task) { return QueryField(task, &DownTaskInfo::nDonationP2P); }

std::int64_t XlEngine::QueryOriginBytes(TaskHandle task) { return QueryField(task, &DownTaskInfo::nDonationOrgin); }

std::int64_t XlEngine::QueryP2sBytes(TaskHandle task) { return QueryField(task, &DownTaskInfo::nDonationP2S); }

std::int32_t XlEngine::QuerySpeed(TaskHandle task) { return QueryField(task, &DownTaskInfo::nSpeed); }

std::int32_t XlEngine::QueryP2sSpeed(TaskHandle task) { return QueryField(task, &DownTaskInfo::nSpeedP2S); }

std::int32_t XlEngine::QueryP2pSpeed(TaskHandle task) { return QueryField(task, &DownTaskInfo::nSpeedP2P); }

bool XlEngine::QueryOriginUsable(TaskHandle task) { return QueryField(task, &DownTaskInfo::bIsOriginUsable) != 0; }

bool XlEngine::QueryCreatingFile(TaskHandle task) { return QueryField(task, &DownTaskInfo::IsCreatingFile) != 0; }

std::string XlEngine::ErrorText(int failCode) const {
    switch (failCode) {
        case 0: return "未知错误";
        case 1: return "创建文件失败";
        case 2: return "写文件失败";
        case 3: return "读文件失败";
        case 4: return "重命名失败";
        case 5: return "文件片校验失败";
        case 6: return "文件全文校验失败";
        case 7: return "删除文件失败失败";
        case 0x10: return "无效的DOWN地址";
        case 0x20: return "代理类型未知";
        case 0x21: return "代理认证失败";
        case 0x30: return "http下载中无ip可用";
        case 0x40: return "任务超时";
        case 0x41: return "任务取消";
        case 0x42: return "MINITP崩溃";
        case 0x43: return "TaskId 非法";
        default: return std::string();
    }
}

std::string XlEngine::StatusText(int state) const {
    static const char* const texts[] = {"NOITEM",   "ERROR",        "PAUSE",      "DOWNLOAD",
                                        "COMPLETE", "STARTPENDING", "STOPPENDING"};
    return state >= 0 && state < 7 ? texts[state] : std::string();
}

void XlEngine::SetUploadSpeedLimit(int tcpLimitKBps, int otherLimitKBps) {
    static const SpeedLimitCall setLimit = Bind<SpeedLimitCall>("XL_SetUploadSpeedLimit");
    setLimit(tcpLimitKBps, otherLimitKBps);
}
