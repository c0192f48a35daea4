// Status-line texts: how connection states and RAS error codes 0..800 find their strings and
// how the numbers go in (the test links the program's own resource script). The wording of the
// texts is the string table's own; tests/help/help_texts_test.py holds the help to it.
#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "FwStrings.h"
#include "StatusTexts.h"
#include "resource.h"

namespace {

std::string StatusForError(DWORD code, DWORD extended) {
  return FormatErrorText(fw::LoadStr(ErrorTextId(code)), code, extended);
}

// Each code with a sentence of its own shows its number once, in front; every other code the
// generic text with both numbers. (The sentences themselves are the string table's; the help
// test checks the ones the help quotes.)
TEST(ErrorTexts, EveryCodeFrom0To800IsNumberedOnce) {
  for (DWORD code = 0; code <= 800; ++code) {
    std::string text = StatusForError(code, 4294967295u);
    if (ErrorTextId(code) != IDS_ERROR_GENERIC) {
      std::string head = "Error " + std::to_string(code) + ": ";
      EXPECT_EQ(0u, text.rfind(head, 0)) << text;
      EXPECT_GT(text.size(), head.size() + 1) << "code " << code;
      EXPECT_EQ(std::string::npos, text.find('%')) << text;
      EXPECT_EQ(std::string::npos, text.find("4294967295")) << text;
    } else {
      EXPECT_EQ("Error occurred during dialing. Error code = " + std::to_string(code) +
                    ". Extended error code = 4294967295.",
                text);
    }
  }
}

TEST(ErrorTexts, CodesAboveTheTableAndExtremesUseTheGenericText) {
  EXPECT_EQ("Error occurred during dialing. Error code = 4294967295. Extended error code = 4294967295.",
            StatusForError(0xFFFFFFFFu, 0xFFFFFFFFu));
  EXPECT_EQ("Error occurred during dialing. Error code = 8. Extended error code = 0.", StatusForError(8, 0));
  EXPECT_EQ("Error occurred during dialing. Error code = 623000. Extended error code = 0.", StatusForError(623000, 0));
}

TEST(ErrorTexts, CrossedCodesAndNamedExamples) {
  EXPECT_EQ(166u, ErrorTextId(644));
  EXPECT_EQ(165u, ErrorTextId(645));
  EXPECT_EQ("Error 644: You will not receive network message popups.", StatusForError(644, 0));
  EXPECT_EQ("Error 645: Internal authentication error.", StatusForError(645, 0));
  EXPECT_EQ(203u, ErrorTextId(691));
  for (DWORD code : {682u, 703u, 727u, 729u, 745u}) {
    EXPECT_EQ(static_cast<UINT>(IDS_ERROR_GENERIC), ErrorTextId(code)) << code;
  }
}

TEST(ErrorTexts, EveryErrorStringIdIsUsedOnce) {
  std::map<UINT, DWORD> owner;
  for (DWORD code = 0; code <= 800; ++code) {
    UINT id = ErrorTextId(code);
    if (id == IDS_ERROR_GENERIC) continue;
    EXPECT_TRUE(owner.emplace(id, code).second) << "string " << id << " for " << code << " and " << owner[id];
  }
  EXPECT_EQ(125u, owner.size());
  EXPECT_EQ(121u, owner.begin()->first);
  EXPECT_EQ(245u, owner.rbegin()->first);
}

TEST(FormatUnsigned, FillsMarkersInOrderAndLeavesTheRest) {
  EXPECT_EQ("a 1 b 2", FormatUnsigned("a %u b %u", {1, 2}));
  EXPECT_EQ("a 1 b %u", FormatUnsigned("a %u b %u", {1}));
  EXPECT_EQ("100% %d %s 5", FormatUnsigned("100% %d %s %u", {5}));
  EXPECT_EQ("%", FormatUnsigned("%", {5}));
  EXPECT_EQ("", FormatUnsigned("", {5}));
}

// The RAS state numbers that have a line: the connecting states take strings 105 to 118 in the
// order of their numbers, the end states their own; 5 and 19 read alike.
TEST(StateTexts, SixteenStatesHaveALineOfTheirOwn) {
  UINT next = 105;
  for (DWORD state : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 10u, 11u, 12u, 14u, 18u, 19u, 21u}) {
    EXPECT_EQ(next++, StateTextId(state)) << "state " << state;
  }
  for (DWORD state : {0x2000u, 0x2001u}) {
    EXPECT_NE(0u, StateTextId(state)) << "state " << state;
    EXPECT_FALSE(fw::LoadStr(StateTextId(state)).empty()) << "state " << state;
  }
  EXPECT_EQ(fw::LoadStr(StateTextId(5)), fw::LoadStr(StateTextId(19)));
  EXPECT_EQ("Connected.", fw::LoadStr(StateTextId(0x2000)));
  EXPECT_EQ("Opening communication port.", fw::LoadStr(StateTextId(0)));
}

TEST(StateTexts, StatesWithoutTextHaveNoString) {
  for (DWORD state : {7u, 8u, 9u, 13u, 15u, 16u, 17u, 20u, 22u, 23u, 24u, 0x1000u, 0x1001u, 0x1002u, 0x1003u,
                      0x1004u, 0x1005u, 0x2002u, 0xFFFFFFFFu}) {
    EXPECT_EQ(0u, StateTextId(state)) << "state " << state;
  }
}

TEST(StringTable, HomePageAndTheFrameworksLimitText) {
  EXPECT_EQ(0u, fw::LoadStr(247).rfind("https://", 0)) << fw::LoadStr(247);
  EXPECT_EQ("Please enter no more than %1 characters.", fw::LoadStr(61715));
}

}  // namespace
