#include "model/text_list.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::readBytes;
using test::ScratchDirectory;
using test::writeBytes;

TEST(TextList, LoadAcceptsEveryLineEndAndDropsTheFinalOne) {
  TextList list;
  list.loadFromText("a\nb\r\nc\rd\r\n", "x");
  ASSERT_EQ(list.count(), 4u);
  EXPECT_EQ(list[0], "a");
  EXPECT_EQ(list[2], "c");
  EXPECT_EQ(list[3], "d");
  list.loadFromText("one\n\nthree", "x");
  ASSERT_EQ(list.count(), 3u);
  EXPECT_EQ(list[1], "");
  EXPECT_EQ(list[2], "three");
  list.loadFromText("\xEF\xBB\xBF###header\n", "x");
  EXPECT_EQ(list[0], "###header");  // a byte-order mark would hide the comment mark
}

TEST(TextList, SaveWritesCarriageReturnLineFeedAndReplacesWhole) {
  ScratchDirectory dir;
  const auto path = dir.file("out.txt");
  writeBytes(path, "an older and much longer content\n\n\n");
  TextList list;
  list.add("first");
  list.add("");
  list.add("last");
  list.saveToFile(path);
  EXPECT_EQ(readBytes(path), "first\r\n\r\nlast\r\n");
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  TextList back;
  back.loadFromFile(path);
  EXPECT_EQ(back.lines(), list.lines());
}

// A list that keeps its text must save exactly what the same list without
// it saves, whatever happened to it: lines added before and after keeping
// began, a line changed in place, a clear, a load, a failed load.
TEST(TextList, KeptTextIsWhatTheLinesJoinedWouldBe) {
  ScratchDirectory dir;
  TextList kept, plain;
  const auto both = [&](const auto& change) {
    change(kept);
    change(plain);
  };
  const auto expectSame = [&](const char* step) {
    EXPECT_EQ(kept.text(), plain.text()) << step;
    kept.saveToFile(dir.file("kept.txt"));
    plain.saveToFile(dir.file("plain.txt"));
    EXPECT_EQ(readBytes(dir.file("kept.txt")), readBytes(dir.file("plain.txt"))) << step;
  };
  both([](TextList& l) { l.add("header before keeping"); });
  kept.keepText();
  expectSame("kept after a line");
  both([](TextList& l) {
    l.add("1   2.5");
    l.add("");
  });
  expectSame("lines added");
  both([](TextList& l) { l[0] = "header changed in place"; });
  expectSame("changed in place");
  both([](TextList& l) { l.add("a line after the change"); });
  expectSame("added after the change");
  both([](TextList& l) { l.clear(); });
  expectSame("cleared");
  both([](TextList& l) { l.add("after the clear"); });
  expectSame("added after the clear");
  both([](TextList& l) { l.loadFromText("loaded\r\nfile", "x"); });
  expectSame("loaded");
  both([](TextList& l) { EXPECT_THROW(l.loadFromText(std::string("bad\0byte", 8), "x"), InputError); });
  expectSame("failed load");
  both([](TextList& l) { l.add("last"); });
  expectSame("added after the load");
  kept.keepText();
  expectSame("kept twice");
  const TextList copy = kept;
  EXPECT_EQ(copy.text(), plain.text()) << "a copy";
}

TEST(TextList, RefusesBinaryFilesAndNamesTheFile) {
  TextList list;
  list.add("kept");
  {
    const std::string message =
        test::messageOf<InputError>([&] { list.loadFromText(std::string("line one\nab\0cd", 14), "garbage.dat"); });
    EXPECT_EQ(message, "garbage.dat: not a text file (byte 0x00 in line 2, column 3)");
  }
  EXPECT_EQ(list.count(), 1u);  // unchanged after a failed load
}

TEST(TextList, FileErrorsNameTheFileAndTheReason) {
  ScratchDirectory dir;
  TextList list;
  EXPECT_THROW(list.loadFromFile(dir.file("missing.dat")), InputError);
  EXPECT_THROW(list.loadFromFile(dir.path().string()), InputError);
  list.add("x");
  {
    const std::string message = test::messageOf<InputError>([&] { list.saveToFile(dir.file("no/such/dir/out.dat")); });
    EXPECT_NE(message.find("out.dat: cannot write the file"), std::string::npos) << message;
  }
}

TEST(TextList, TrimRemovesBlanksAndControlsAtBothEnds) {
  EXPECT_EQ(trimmed("  \t a b \r "), "a b");
  EXPECT_EQ(trimmed("   "), "");
}

}  // namespace
}  // namespace torvex
