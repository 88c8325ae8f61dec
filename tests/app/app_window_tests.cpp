// The real Quillmere.exe driven from outside, as a user would: a copy of it in
// a fresh folder whose path holds Chinese characters, the simulated WeChat as
// its target, its window read and clicked through window messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "program_under_test.h"
#include "remote_window.h"
#include "simulated_wechat.h"
#include "test_folders.h"

namespace {

constexpr wchar_t kNoBrowserStatus[] = L"初始化失败：视频号PID获取失败，请先登录微信PC端，然后重启本软件";
constexpr wchar_t kBoxText[] = L"未检测到微信进程，请登录微信PC端并打开视频号窗口，按【确定】键重试！";

std::wstring ToWide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                                    static_cast<int>(wide.size())));
    return wide;
}

// One run of the program from a copy in its own Chinese-named folder.
class QuillmereRun {
public:
    explicit QuillmereRun(const char* purpose) : root_(purpose) {
        folder_ = root_.Wide() + L"\\视频 程序";
        CreateDirectoryW(folder_.c_str(), nullptr);
        CopyFileW((BinFolder() + L"Quillmere.exe").c_str(), (folder_ + L"\\Quillmere.exe").c_str(), FALSE);
    }

    bool Start(const std::vector<std::wstring>& environment = {}) {
        if (!program_.Start(folder_ + L"\\Quillmere.exe", L"", environment)) return false;
        return remote::WaitFor([&] { return (window_ = remote::FindProcessWindow(program_.Pid(), L"QuillmereMainWindow", nullptr)) != nullptr; },
                               30000);
    }

    HWND Window() const { return window_; }
    HWND Table() const { return remote::ChildOfClass(window_, L"SysListView32"); }
    HWND StatusLine() const { return remote::ChildOfClass(window_, L"Static"); }
    std::wstring Status() const { return remote::WindowText(StatusLine()); }
    bool WaitForStatusEnding(const std::wstring& message, DWORD timeoutMs = 20000) const {
        return remote::WaitFor([&] {
            const std::wstring status = Status();
            return status.size() >= message.size() && status.compare(status.size() - message.size(), message.size(), message) == 0;
        }, timeoutMs);
    }
    HWND WaitForMessageBox(DWORD timeoutMs = 30000) const {
        HWND box = nullptr;
        remote::WaitFor([&] { return (box = remote::FindProcessWindow(program_.Pid(), L"#32770", L"信息：")) != nullptr; },
                        timeoutMs);
        return box;
    }
    const std::wstring& Folder() const { return folder_; }
    const TestFolder& Root() const { return root_; }
    ProgramUnderTest& Program() { return program_; }

private:
    TestFolder root_;
    std::wstring folder_;
    ProgramUnderTest program_;
    HWND window_ = nullptr;
};

void Press(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

// A message box shows its text in the static control with the identifier 0xFFFF.
std::wstring BoxText(HWND box) { return remote::WindowText(GetDlgItem(box, 0xFFFF)); }

// Everything below the message box needs the browser gone; the fixtures of
// these tests are the only WechatBrowser.exe processes of the prefix.

}  // namespace

TEST(Window, HasTheLayoutColumnsAndStatusLineOfTheProgram) {
    QuillmereRun run("layout");
    SimulatedWeChat wechat;
    ASSERT_TRUE(wechat.Start(run.Root().Wide()));
    ASSERT_TRUE(run.Start());

    RECT window;
    GetWindowRect(run.Window(), &window);
    EXPECT_EQ(window.left, 50);
    EXPECT_EQ(window.top, 50);
    EXPECT_EQ(window.right - window.left, 820);
    EXPECT_EQ(window.bottom - window.top, 475);

    const RECT table = remote::ChildRect(run.Table());
    EXPECT_EQ(table.left, 15);
    EXPECT_EQ(table.top, 24);
    EXPECT_EQ(table.right - table.left, 785);
    EXPECT_EQ(table.bottom - table.top, 376);
    const RECT status = remote::ChildRect(run.StatusLine());
    EXPECT_EQ(status.left, 16);
    EXPECT_EQ(status.top, 407);
    EXPECT_EQ(status.right - status.left, 784);
    EXPECT_EQ(status.bottom - status.top, 40);

    const std::vector<remote::Column> columns = remote::Columns(run.Table());
    ASSERT_EQ(columns.size(), 4u);
    const remote::Column expected[] = {{L"ID", 50}, {L"Type", 50}, {L"mediaUrl", 540}, {L"status", 130}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(columns[i].header, expected[i].header);
        EXPECT_EQ(columns[i].width, expected[i].width);
    }
    const DWORD style = static_cast<DWORD>(GetWindowLongW(run.Table(), GWL_STYLE));
    EXPECT_EQ(style & LVS_TYPEMASK, static_cast<DWORD>(LVS_REPORT));
    EXPECT_TRUE(style & LVS_SINGLESEL);
    EXPECT_TRUE(style & LVS_SHOWSELALWAYS);
    EXPECT_EQ(remote::WindowText(run.Window()).rfind(L"Quillmere V2.1", 0), 0u);

    const std::wstring expectedStatus = L"视频号PID[" + std::to_wstring(wechat.BrowserPid()) + L"]获取成功";
    ASSERT_TRUE(run.WaitForStatusEnding(expectedStatus)) << "status: " << run.Status().size();
    const std::wregex format(L"^\\d\\d-\\d\\d:\\d\\d:\\d\\d .+$");
    EXPECT_TRUE(std::regex_match(run.Status(), format));

    // The folder of the downloads is made beside the program, Chinese path and all.
    EXPECT_TRUE(GetFileAttributesW((run.Folder() + L"\\video").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    PostMessageW(run.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(run.Program().WaitForExit(20000), 0u);
}

TEST(Window, WithoutBrowserCancelEndsTheProgramWithExitCodeZero) {
    QuillmereRun run("cancel");
    ASSERT_TRUE(run.Start());
    HWND box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(BoxText(box), kBoxText);
    EXPECT_TRUE(run.WaitForStatusEnding(kNoBrowserStatus, 2000));
    Press(box, IDCANCEL);
    EXPECT_EQ(run.Program().WaitForExit(20000), 0u);
}

TEST(Window, OkRetriesAndFindsABrowserStartedMeanwhileThenScans) {
    QuillmereRun run("retry");
    ASSERT_TRUE(run.Start());
    HWND box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);

    Press(box, IDOK);  // still no browser: asked again
    ASSERT_TRUE(remote::WaitFor([&] { return !IsWindow(box); }, 10000));
    box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(run.WaitForStatusEnding(kNoBrowserStatus, 2000));

    SimulatedWeChat wechat;
    ASSERT_TRUE(wechat.Start(run.Root().Wide()));
    Press(box, IDOK);
    const std::wstring found = L"视频号PID[" + std::to_wstring(wechat.BrowserPid()) + L"]获取成功";
    ASSERT_TRUE(run.WaitForStatusEnding(found));
    // The armed timer's first tick searches the empty browser and says so.
    EXPECT_TRUE(run.WaitForStatusEnding(L"未检测到视频号视频，尝试播放新的视频号视频后重试！", 10000));
    PostMessageW(run.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(run.Program().WaitForExit(20000), 0u);
}

namespace {

RECT RowRect(HWND list, int row) {
    remote::RemoteBuffer buffer(list, sizeof(RECT));
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    buffer.Write(&rect, sizeof rect);
    SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(buffer.Address()));
    buffer.Read(&rect, sizeof rect);
    return rect;
}

void RightClickAt(HWND list, int x, int y) {
    POINT screen = {x, y};
    ClientToScreen(list, &screen);
    SetCursorPos(screen.x, screen.y);
    PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
    PostMessageW(list, WM_RBUTTONUP, 0, MAKELPARAM(x, y));
}

HWND WaitForMenu(DWORD pid, DWORD timeoutMs) {
    HWND menu = nullptr;
    remote::WaitFor([&] { return (menu = remote::FindProcessWindow(pid, L"#32768", nullptr)) != nullptr; }, timeoutMs);
    return menu;
}

std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return "<clipboard busy>";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* bytes = static_cast<const char*>(GlobalLock(data))) {
            text = bytes;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

}  // namespace

TEST(Window, RightClickCopiesTheLinkOfTheRowAndNothingOnEmptySpace) {
    QuillmereRun run("copy link");
    SimulatedWeChat wechat;
    ASSERT_TRUE(wechat.Start(run.Root().Wide()));
    ASSERT_TRUE(run.Start());
    // A live stream is listed without any request, so no server is needed here.
    const std::string link = std::string("https://") + QUILLMERE_LIVE_HOST + "/live/copy.flv?token=7";
    ASSERT_TRUE(wechat.Command("heap " + link + "&combuf=zzz"));
    HWND table = run.Table();
    ASSERT_TRUE(remote::WaitFor([&] { return remote::RowCount(table) == 1; }, 15000));
    EXPECT_EQ(remote::CellText(table, 0, 0), L"0");
    EXPECT_EQ(remote::CellText(table, 0, 1), L"直播");
    EXPECT_EQ(remote::CellText(table, 0, 2), ToWide(link));
    EXPECT_EQ(remote::CellText(table, 0, 3), L"不支持下载");

    // Empty space with nothing selected: no menu.
    RightClickAt(table, 100, 300);
    EXPECT_EQ(WaitForMenu(run.Program().Pid(), 1500), nullptr);

    OpenClipboard(nullptr);
    EmptyClipboard();
    CloseClipboard();
    ASSERT_TRUE(remote::SelectRow(table, 0));
    const RECT row = RowRect(table, 0);
    RightClickAt(table, row.left + 20, (row.top + row.bottom) / 2);
    HWND menu = WaitForMenu(run.Program().Pid(), 5000);
    ASSERT_NE(menu, nullptr);
    PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(run.WaitForStatusEnding(L"链接复制成功，去粘贴吧！", 5000));
    EXPECT_EQ(ClipboardText(), link);
    PostMessageW(run.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(run.Program().WaitForExit(20000), 0u);
}

TEST(Window, MakesTheVideoFolderUnderAChinesePathWithAnotherCodePage) {
    QuillmereRun run("code page");
    SimulatedWeChat wechat;
    ASSERT_TRUE(wechat.Start(run.Root().Wide()));
    ASSERT_TRUE(run.Start({L"LANG=en_US.UTF-8", L"LC_ALL=en_US.UTF-8"}));
    ASSERT_TRUE(remote::WaitFor([&] { return GetFileAttributesW((run.Folder() + L"\\video").c_str()) != INVALID_FILE_ATTRIBUTES; },
                                20000));
    EXPECT_TRUE(GetFileAttributesW((run.Folder() + L"\\video").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    PostMessageW(run.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(run.Program().WaitForExit(20000), 0u);
}

namespace {

std::string FileBytes(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    file << bytes;
}

}  // namespace

TEST(StartUp, ReplacesAStaleArchiverAndLeavesALockedOneAsItIs) {
    const std::string image = FileBytes(BinFolder() + L"7-zip32.dll");
    ASSERT_FALSE(image.empty());
    // An older archiver: a loadable library of another size.
    const std::string stale = image + std::string(4096, '\x5a');
    SimulatedWeChat wechat;

    {
        QuillmereRun run("stale archiver");
        ASSERT_TRUE(wechat.Start(run.Root().Wide()));
        const std::wstring temp = run.Root().Wide() + L"\\临时";
        CreateDirectoryW(temp.c_str(), nullptr);
        WriteBytes(temp + L"\\7-zip32.dll", stale);
        ASSERT_TRUE(run.Start({L"TMP=" + temp, L"TEMP=" + temp}));
        EXPECT_TRUE(FileBytes(temp + L"\\7-zip32.dll") == image) << "the program's own image replaces the stale file";
        PostMessageW(run.Window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(run.Program().WaitForExit(20000), 0u);
    }
    {
        QuillmereRun run("locked archiver");
        const std::wstring temp = run.Root().Wide() + L"\\临时";
        CreateDirectoryW(temp.c_str(), nullptr);
        const std::wstring path = temp + L"\\7-zip32.dll";
        WriteBytes(path, stale);
        HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(run.Start({L"TMP=" + temp, L"TEMP=" + temp})) << "start-up goes on and the window opens";
        EXPECT_TRUE(remote::WaitFor([&] { return !run.Status().empty(); }, 20000));
        CloseHandle(lock);
        EXPECT_TRUE(FileBytes(path) == stale) << "a locked file is left as it was";
        PostMessageW(run.Window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(run.Program().WaitForExit(20000), 0u);
    }
}
