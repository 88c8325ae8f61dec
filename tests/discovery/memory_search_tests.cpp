// Searching and reading the simulated browser's memory. The texts are
// upper-case markers that occur nowhere else in the browser.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "discovery/memory_search.h"
#include "fixture_processes.h"
#include "test_window.h"

namespace {

using Addresses = std::vector<std::uintptr_t>;

std::string Hex(std::uintptr_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(address));
    return text;
}

class MemorySearch : public ::testing::Test {
protected:
    // What lies around the addresses that were found but not placed, to tell a
    // stray copy in the browser from a wrong address.
    std::string Unexpected(const Addresses& found, const Addresses& placed) {
        std::string text;
        for (const std::uintptr_t address : found) {
            if (std::find(placed.begin(), placed.end(), address) != placed.end()) continue;
            text += Hex(address) + ": " + ReadRemoteText(browser.pid, address).substr(0, 80) + "\n";
        }
        return text;
    }

    void SetUp() override {
        browser = fixtures.StartBrowser();
        ASSERT_NE(browser.pid, 0u);
    }
    std::uintptr_t Place(const std::string& command) {
        const std::uintptr_t address = fixtures.Command(browser.control, command);
        EXPECT_NE(address, 0u) << command;
        return address;
    }

    FixtureProcesses fixtures;
    Started browser;
};

TEST_F(MemorySearch, OccurrencesDoNotOverlap) {
    const std::uintptr_t abab = Place("heap QMSABQMSAB");
    const std::uintptr_t aaa = Place("heap QQQQQQQQQQQQ");  // 12 of them

    EXPECT_EQ(SearchProcessMemory(browser.pid, "QMSAB"), (Addresses{abab, abab + 5}));
    EXPECT_EQ(SearchProcessMemory(browser.pid, "QQQQQQQQ"), (Addresses{aaa}));
}

TEST_F(MemorySearch, FindsEveryCopyInRegionsOfManySizesInAscendingOrder) {
    const std::string link = "QMSLINK-https://video/stodownload?k=1&taskid=0";
    Addresses expected;
    for (const std::size_t size : {4u << 10, 64u << 10, 1u << 20}) {
        const std::uintptr_t base = Place("region " + std::to_string(size) + " 4 " + link);
        for (std::size_t i = 0; i < 4; ++i) expected.push_back(base + i * (size / 4));
    }
    expected.push_back(Place("heap " + link));
    std::sort(expected.begin(), expected.end());

    // The browser's own stack may still hold a passing copy of its last command
    // when the search runs; such a copy is gone by the time it is read back, so
    // only the copies that still hold the text count.
    Addresses found;
    for (const std::uintptr_t address : SearchProcessMemory(browser.pid, "QMSLINK"))
        if (ReadRemoteText(browser.pid, address).rfind("QMSLINK", 0) == 0) found.push_back(address);
    EXPECT_EQ(found, expected) << Unexpected(found, expected);
}

TEST_F(MemorySearch, FindsTextsAcrossTheBordersOfItsReadsWithinARegion) {
    // A 12 MB region with a marker across every 256 KB boundary and a run of 12
    // Q across every 1 MB boundary: whatever piece size the search reads in,
    // every occurrence is found once, and the Q runs give one match each.
    const std::uintptr_t base = Place("region 12M 0");
    Addresses markers;
    Addresses runs;
    for (std::uintptr_t offset = 256 << 10; offset < (12u << 20); offset += 256 << 10) {
        if (offset % (1 << 20) == 0) {
            runs.push_back(Place("write " + Hex(base + offset - 5) + " QQQQQQQQQQQQ"));
        } else {
            markers.push_back(Place("write " + Hex(base + offset - 3) + " QMSBORDER"));
        }
    }
    EXPECT_EQ(SearchProcessMemory(browser.pid, "QMSBORDER"), markers);
    EXPECT_EQ(SearchProcessMemory(browser.pid, "QQQQQQQQ"), runs);
}

TEST_F(MemorySearch, APatternSplitAcrossTwoRegionsIsNotFound) {
    const std::uintptr_t split = Place("split 4 QMSSPLIT");
    const std::uintptr_t whole = Place("heap QMSSPLIT");

    EXPECT_EQ(SearchProcessMemory(browser.pid, "QMSSPLIT"), (Addresses{whole}));
    // Reading stops at the end of the first region.
    EXPECT_EQ(ReadRemoteText(browser.pid, split), "QMSS");
}

TEST_F(MemorySearch, MappedViewsAndNoAccessRegionsAreSkipped) {
    const std::uintptr_t mapped = Place("mapped QMSHIDDEN-1");
    Place("noaccess QMSHIDDEN-2");
    const std::uintptr_t visible = Place("heap QMSHIDDEN-3");

    EXPECT_EQ(SearchProcessMemory(browser.pid, "QMSHIDDEN"), (Addresses{visible}));
    // Both are only left out of the search: a mapped view's text can be read,
    // and so, under Wine (not Windows), can a no-access page's.
    EXPECT_EQ(ReadRemoteText(browser.pid, mapped), "QMSHIDDEN-1");
}

TEST_F(MemorySearch, ReadsATextUpToItsNulOrTheEndOfItsRegion) {
    const std::uintptr_t atEnd = Place("end 5000 QMSEND-no-nul-after-me");
    const std::uintptr_t onHeap = Place("heap QMSTEXT-with-nul");
    const std::string longText = "QMSLONG" + std::string(20000, 'X');
    const std::uintptr_t longCopy = Place("region 64K 1 " + longText);

    EXPECT_EQ(ReadRemoteText(browser.pid, atEnd), "QMSEND-no-nul-after-me");
    EXPECT_EQ(ReadRemoteText(browser.pid, onHeap), "QMSTEXT-with-nul");
    EXPECT_EQ(ReadRemoteText(browser.pid, longCopy), longText);
    EXPECT_EQ(SearchProcessMemory(browser.pid, "QMSEND"), (Addresses{atEnd}));
}

TEST_F(MemorySearch, ARegionWithoutNulIsReadWhole) {
    // 3 MB of filler (no NUL anywhere) ending in a marker: the text at the
    // region's start is all of it.
    const std::uintptr_t marker = Place("end 3M QMSTAIL");
    const std::uintptr_t base = marker + 7 - (3u << 20);

    const std::string text = ReadRemoteText(browser.pid, base);
    EXPECT_EQ(text.size(), 3u << 20);
    EXPECT_EQ(text.substr(text.size() - 7), "QMSTAIL");
}

TEST_F(MemorySearch, AProcessThatHasEndedGivesNothing) {
    const std::uintptr_t text = Place("heap QMSGONE");
    ASSERT_EQ(SearchProcessMemory(browser.pid, "QMSGONE"), (Addresses{text}));
    fixtures.End(browser.pid);

    EXPECT_TRUE(SearchProcessMemory(browser.pid, "QMSGONE").empty());
    EXPECT_EQ(ReadRemoteText(browser.pid, text), "");
    EXPECT_TRUE(SearchProcessMemory(0, "QMSGONE").empty());
}

TEST_F(MemorySearch, AnEmptyPatternFindsNothing) {
    EXPECT_TRUE(SearchProcessMemory(browser.pid, "").empty());
}

TEST_F(MemorySearch, TheWindowStaysResponsiveDuringALongSearch) {
    Place("region 128M 0");
    TestWindow window;
    TestWindow::ResetTimerMessages();
    ASSERT_NE(SetTimer(window.Handle(), 1, 10, nullptr), 0u);

    const ULONGLONG start = GetTickCount64();
    SearchProcessMemory(browser.pid, "QMSNEVER");
    const ULONGLONG took = GetTickCount64() - start;
    KillTimer(window.Handle(), 1);

    // The timer's messages were handled while the search ran, not afterwards.
    ASSERT_GT(took, 50u) << "the search was too short to show anything";
    EXPECT_GE(TestWindow::TimerMessages(), 2);
}

}  // namespace
