#include "model/text_list.h"

#include <filesystem>

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
