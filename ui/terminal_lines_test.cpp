#include "ui/terminal_lines.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "ui/controls.h"

namespace ui {
namespace {

TEST(TerminalLinesTest, NarrowTerminalsWrapTextsAndShortenTheTitleAtWords) {
  // Given 20 columns, 19 characters a line: the title and the summary are
  // cut at a word and marked, texts wrap at words, a long word is cut.
  Window window("Vorpex Setup for Workstations");
  TextFieldCell status;
  status.setStringValue("Error during the download process.\nSee it");
  status.setTextColor(Color::kRed);
  TextFieldCell detail;
  detail.setStringValue("9.5 of 28.6 MB \u00b7 2.0 MB/s \u00b7 "
                        "from downloads.vorpex.example");
  window.addControl(&status);
  window.addControl(&detail);

  EXPECT_EQ(terminalLines(window, 20),
            (std::vector<std::string>{
                "Vorpex Setup for\u2026", "\x1b[31mError during the\x1b[0m",
                "\x1b[31mdownload process.\x1b[0m", "\x1b[31mSee it\x1b[0m",
                "9.5 of 28.6 MB \u00b7", "2.0 MB/s \u00b7 from",
                "downloads.vorpex.ex", "ample"}));

  EXPECT_EQ(terminalSummaryLine(window, 20), "");
  window.setSummary("cancelled");
  EXPECT_EQ(terminalSummaryLine(window, 80),
            "Vorpex Setup for Workstations: cancelled");
  EXPECT_EQ(terminalSummaryLine(window, 30), "Vorpex Setup for\u2026");
}

}  // namespace
}  // namespace ui
