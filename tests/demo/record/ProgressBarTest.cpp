#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "demo/record/ProgressBar.h"

using qibo::demo::ProgressBar;

TEST(ProgressBarTest, FormatShowsBarPercentAndTimes) {
  struct Case {
    int64_t done, total;
    int fps, width;
    const char* line;
  };
  const Case cases[] = {
      {0, 18960, 60, 10, "[          ] 0% 00:00:00 / 00:05:16"},
      {7980, 18960, 60, 10, "[####      ] 42% 00:02:13 / 00:05:16"},
      {18959, 18960, 60, 10, "[######### ] 99% 00:05:15 / 00:05:16"},
      {18960, 18960, 60, 10, "[##########] 100% 00:05:16 / 00:05:16"},
      {99999, 18960, 60, 4, "[####] 100% 00:05:16 / 00:05:16"},
      {-5, 100, 25, 4, "[    ] 0% 00:00:00 / 00:00:04"},
      {0, 0, 60, 3, "[###] 100% 00:00:00 / 00:00:00"},
      {90000 * 30, 100000 * 30, 30, 5, "[####=] 90% 25:00:00 / 27:46:40"},
  };
  for (const Case& c : cases) {
    std::string expected = c.line;
    // '=' stands for the part that is not filled yet.
    for (char& ch : expected)
      if (ch == '=') ch = ' ';
    EXPECT_EQ(ProgressBar::Format(c.done, c.total, c.fps, c.width), expected) << c.done << "/" << c.total;
  }
}

// The line is rewritten only when its text changes and ends with one
// newline.
TEST(ProgressBarTest, WritesOnlyChangesAndEndsTheLine) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  ASSERT_NE(out, nullptr);
  {
    ProgressBar bar(4 * 60, 60, out, 4);
    for (int frame = 0; frame <= 4 * 60; ++frame) bar.Update(frame);
    bar.Update(4 * 60);
    bar.Finish();
    bar.Update(0);
  }
  fclose(out);
  const std::string written(text, size);
  free(text);
  // Every whole percent from 0 to 100 is shown once; the seconds change
  // together with the percent at this size.
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(written.front(), '\r');
  std::vector<std::string> lines;
  for (size_t at = 0; at < written.size();) {
    const size_t next = written.find('\r', at + 1);
    lines.push_back(written.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
    at = next == std::string::npos ? written.size() : next;
  }
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(lines.front(), "[    ] 0% 00:00:00 / 00:00:04");
  EXPECT_EQ(lines[25], "[#   ] 25% 00:00:01 / 00:00:04");
  EXPECT_EQ(lines.back(), "[####] 100% 00:00:04 / 00:00:04\n");
  for (size_t i = 1; i < lines.size(); ++i) EXPECT_NE(lines[i], lines[i - 1]);
  EXPECT_EQ(written.find('\n'), written.size() - 1);
}
