// The engine's pure rules: reading HTTP answers, following redirects, cutting
// a download into pieces and handing work to idle connections, file names,
// and the resume record.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/file_names.h"
#include "common/http_rules.h"
#include "common/piece_plan.h"
#include "common/resume_record.h"

TEST(HttpRules, ContentRangeIsReadOnlyWhenWellFormed) {
    struct Case {
        const wchar_t* value;
        bool valid;
        std::int64_t first, last, total;
    };
    const Case cases[] = {
        {L"bytes 0-99/100", true, 0, 99, 100},
        {L"  bytes 100-199/52428800 ", true, 100, 199, 52428800},
        {L"BYTES 5-5/6", true, 5, 5, 6},
        {L"bytes 0-9/*", true, 0, 9, -1},
        {L"bytes 0-99/9223372036854775807", true, 0, 99, 9223372036854775807LL},
        {L"bytes 0-99/9223372036854775808", false, 0, 0, 0},  // overflow
        {L"bytes 10-5/100", false, 0, 0, 0},                  // last before first
        {L"bytes 0-100/100", false, 0, 0, 0},                 // beyond the end
        {L"bytes */100", false, 0, 0, 0},                     // the 416 form carries no range
        {L"bytes 0-99", false, 0, 0, 0},
        {L"bytes=0-99/100", false, 0, 0, 0},
        {L"bytes -5-99/100", false, 0, 0, 0},
        {L"bytes 0-99/100x", false, 0, 0, 0},
        {L"items 0-99/100", false, 0, 0, 0},
        {L"", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const auto range = ParseContentRange(c.value);
        ASSERT_EQ(range.has_value(), c.valid) << std::string(c.value, c.value + wcslen(c.value));
        if (!range) continue;
        EXPECT_EQ(range->first, c.first);
        EXPECT_EQ(range->last, c.last);
        EXPECT_EQ(range->total, c.total);
    }
}

TEST(HttpRules, ContentLengthIsDigitsOnly) {
    EXPECT_EQ(ParseContentLength(L"52428800"), 52428800);
    EXPECT_EQ(ParseContentLength(L" 0 "), 0);
    EXPECT_FALSE(ParseContentLength(L""));
    EXPECT_FALSE(ParseContentLength(L"-1"));
    EXPECT_FALSE(ParseContentLength(L"12, 12"));
    EXPECT_FALSE(ParseContentLength(L"1e6"));
    EXPECT_FALSE(ParseContentLength(L"99999999999999999999"));
}

TEST(HttpRules, RedirectTargetsResolveAgainstTheAnsweringAddress) {
    const std::wstring base = L"https://cdn.example:8443/251/20302/stodownload?encfilekey=K&token=1";
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"https://other.example/x.mp4", L"https://other.example/x.mp4"},
        {L"HTTP://other.example/x", L"HTTP://other.example/x"},
        {L"//mirror.example/y", L"https://mirror.example/y"},
        {L"/files/K", L"https://cdn.example:8443/files/K"},
        {L"next?x=1", L"https://cdn.example:8443/251/20302/next?x=1"},
        {L"?token=2", L"https://cdn.example:8443/251/20302/stodownload?token=2"},
        {L" /a#fragment", L"https://cdn.example:8443/a"},
        {L"ftp://files.example/x", L""},
        {L"javascript:alert(1)", L""},
        {L"https://", L""},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveRedirect(base, c.first), c.second) << std::wstring(c.first).size();
    EXPECT_EQ(ResolveRedirect(L"http://h.example", L"x"), L"http://h.example/x");
}

TEST(HttpRules, OnlyHttpAndHttpsAddressesWithAHostAreDownloaded) {
    EXPECT_TRUE(IsDownloadAddress(L"https://127.0.0.1:18560/files/a"));
    EXPECT_TRUE(IsDownloadAddress(L"HtTp://host"));
    for (const wchar_t* bad : {L"", L"http://", L"https:///path", L"ftp://host/a", L"file:///C:/a", L"host/a",
                               L" http://host", L"httpx://host"})
        EXPECT_FALSE(IsDownloadAddress(bad)) << std::wstring(bad).size();
}

TEST(HttpRules, StatusesSortIntoBodyRedirectRetryAndFatal) {
    for (int s : {200, 206}) EXPECT_EQ(ClassifyStatus(s), StatusKind::Body) << s;
    for (int s : {301, 302, 303, 307, 308}) EXPECT_EQ(ClassifyStatus(s), StatusKind::Redirect) << s;
    for (int s : {408, 429, 500, 502, 503, 504, 599}) EXPECT_EQ(ClassifyStatus(s), StatusKind::Retry) << s;
    for (int s : {0, 204, 304, 400, 403, 404, 410, 416, 600}) EXPECT_EQ(ClassifyStatus(s), StatusKind::Fatal) << s;
    EXPECT_EQ(RangeHeaderValue(0, -1), L"bytes=0-");
    EXPECT_EQ(RangeHeaderValue(100, 200), L"bytes=100-199");
}

namespace {

// Whether the pieces cover [0, total) exactly, without gap or overlap.
bool CoversExactly(std::vector<Piece> pieces, std::int64_t total) {
    std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.pos < b.pos; });
    std::int64_t at = 0;
    for (const Piece& piece : pieces) {
        if (piece.pos != at || piece.end <= piece.pos) return false;
        at = piece.end;
    }
    return at == total;
}

}  // namespace

TEST(PiecePlan, LargeRangedFilesGetOnePiecePerConnectionSmallOrUnrangedOnesOne) {
    PiecePolicy policy;
    policy.maxConnections = 8;
    policy.minPieceLength = 2 << 20;
    struct Case {
        std::int64_t total;
        bool ranges;
        std::size_t pieces;
    };
    const Case cases[] = {
        {50LL << 20, true, 8},  {200LL << 20, true, 8}, {10LL << 20, true, 5}, {(2LL << 20) - 1, true, 1},
        {50LL << 20, false, 1}, {1, true, 1},           {(4LL << 20) + 7, true, 2},
    };
    for (const Case& c : cases) {
        const std::vector<Piece> pieces = PlanPieces(c.total, c.ranges, policy);
        EXPECT_EQ(pieces.size(), c.pieces) << c.total;
        EXPECT_TRUE(CoversExactly(pieces, c.total)) << c.total;
        for (std::size_t i = 0; i + 1 < pieces.size(); ++i) EXPECT_EQ(pieces[i].end % policy.alignment, 0);
    }
    const std::vector<Piece> unknown = PlanPieces(-1, true, policy);
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0].end, kUnknownEnd);
    EXPECT_EQ(PlanPieces(0, true, policy).size(), 1u);
    EXPECT_EQ(RemainingBytes(PlanPieces(0, true, policy)), 0);
}

TEST(PiecePlan, IdleConnectionTakesFreePiecesFirstThenHalfOfTheLargestRunning) {
    PiecePolicy policy;
    policy.maxConnections = 8;
    policy.minPieceLength = 2 << 20;
    policy.minStealLength = 512 << 10;  // steals need at least twice that left
    std::vector<Piece> pieces = PlanPieces(16LL << 20, true, policy);  // 8 pieces of 2 MiB
    for (std::size_t i = 0; i < pieces.size(); ++i) EXPECT_EQ(TakePiece(pieces, policy), i);

    for (Piece& piece : pieces) piece.pos = piece.end - (1536 << 10);
    pieces[5].pos = pieces[5].end - (2 << 20) + (64 << 10);  // the slowest: most left
    const std::int64_t slowEnd = pieces[5].end;
    const auto stolen = TakePiece(pieces, policy);
    ASSERT_TRUE(stolen);
    EXPECT_EQ(*stolen, 8u);
    EXPECT_TRUE(pieces[8].owned);
    EXPECT_EQ(pieces[8].end, slowEnd) << "the thief takes the upper part";
    EXPECT_EQ(pieces[5].end, pieces[8].pos) << "the slow piece now ends where the stolen one begins";
    EXPECT_GT(pieces[5].Remaining(), 0);
    EXPECT_EQ(RemainingBytes(pieces), 7 * (1536 << 10) + (2 << 20) - (64 << 10)) << "nothing lost or doubled";

    for (Piece& piece : pieces) piece.pos = piece.end - (1 << 20) + 1;  // each has less than two steals left
    EXPECT_FALSE(TakePiece(pieces, policy)) << "a rest too small to share stays with its connection";

    std::vector<Piece> freed = PlanPieces(16LL << 20, true, policy);
    ASSERT_EQ(freed.size(), 8u);
    for (Piece& piece : freed) piece.owned = true;
    freed[3].owned = false;  // its connection gave up
    EXPECT_EQ(TakePiece(freed, policy), 3u) << "an abandoned piece is taken up before any split";
}

TEST(FileNames, NumberedNamesKeepTheExtension) {
    EXPECT_EQ(NumberedName(L"3_abcde.mp4", 0), L"3_abcde.mp4");
    EXPECT_EQ(NumberedName(L"3_abcde.mp4", 1), L"3_abcde(1).mp4");
    EXPECT_EQ(NumberedName(L"a.b.mp4", 12), L"a.b(12).mp4");
    EXPECT_EQ(NumberedName(L"noext", 2), L"noext(2)");
    EXPECT_EQ(NumberedName(L".hidden", 1), L".hidden(1)");
    EXPECT_EQ(JoinFolder(L"C:\\v\\", L"a.mp4"), L"C:\\v\\a.mp4");
    EXPECT_EQ(JoinFolder(L"C:\\v", L"a.mp4"), L"C:\\v\\a.mp4");
    EXPECT_EQ(PartialName(L"C:\\v\\a.mp4"), L"C:\\v\\a.mp4.qmdl");
}

TEST(FileNames, OnlyPlainNamesStandForAFileInTheFolder) {
    for (const wchar_t* good : {L"1_abcde.mp4", L"视频.mp4", L"a b.mp4", L".x"})
        EXPECT_TRUE(IsPlainFileName(good)) << std::wstring(good).size();
    for (const wchar_t* bad : {L"", L".", L"..", L"..\\a.mp4", L"a/b.mp4", L"C:a.mp4", L"a?.mp4", L"a*", L"a.",
                               L"a ", L"a\tb", L"a|b", L"a\"b", L"<a>"})
        EXPECT_FALSE(IsPlainFileName(bad)) << std::wstring(bad).size();
}

TEST(ResumeRecordCoding, RoundTripsAndRefusesDamage) {
    const ResumeRecord record{L"https://127.0.0.1:18560/files/视频?x=1", 1000, {{0, 10}, {500, 600}, {990, 1000}}};
    const std::string bytes = EncodeResumeRecord(record);
    const auto decoded = DecodeResumeRecord(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->url, record.url);
    EXPECT_EQ(decoded->total, 1000);
    EXPECT_EQ(decoded->missing, record.missing);

    EXPECT_FALSE(DecodeResumeRecord(""));
    EXPECT_FALSE(DecodeResumeRecord("XXXX" + bytes.substr(4)));
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(DecodeResumeRecord(bytes.substr(0, cut))) << "cut at " << cut;
    EXPECT_FALSE(DecodeResumeRecord(bytes + "x"));
    for (const auto& bad : std::vector<std::vector<std::pair<std::int64_t, std::int64_t>>>{
             {{10, 5}}, {{0, 1001}}, {{500, 600}, {0, 10}}, {{0, 10}, {5, 20}}, {{7, 7}}}) {
        EXPECT_FALSE(DecodeResumeRecord(EncodeResumeRecord({L"u", 1000, bad}))) << bad.front().first;
    }
}
