#include "download/transfer_detail.h"

#include "gtest/gtest.h"

namespace {

TEST(TransferDetailTest, SizesThenASmoothedSpeedThenTheTimeLeft) {
  // Given 28.6 MB at 2 MB/s in blocks of 100 kB, one every 50 ms, with one
  // block ten times as large halfway through the fourth second.
  double now = 100;
  TransferDetail detail([&now] { return now; });
  EXPECT_EQ(detail.text(), "");
  detail.start(28'600'000, "dl.example.com");
  EXPECT_EQ(detail.text(), "0.0 of 28.6 MB \u00b7 from dl.example.com");

  auto receiveFor = [&](double seconds) {
    for (int block = 0; block < seconds * 20; ++block) {
      detail.add(100'000);
      now += 0.05;
    }
  };
  receiveFor(0.5);
  EXPECT_EQ(detail.text(), "1.0 of 28.6 MB \u00b7 from dl.example.com")
      << "no speed yet";
  receiveFor(1.0);
  EXPECT_EQ(detail.text(),
            "3.0 of 28.6 MB \u00b7 2.0 MB/s \u00b7 from dl.example.com")
      << "no time left before the speed is steady";
  receiveFor(2.0);
  detail.add(1'000'000);
  now += 0.05;
  receiveFor(0.25);
  EXPECT_EQ(detail.text(),
            "8.5 of 28.6 MB \u00b7 2.3 MB/s \u00b7 9 s left \u00b7 from "
            "dl.example.com")
      << "one large block moves the speed by a little";

  // A pause is not counted in the speed; it shows again a second later.
  detail.pause();
  now += 30;
  receiveFor(0.5);
  EXPECT_EQ(detail.text(), "9.5 of 28.6 MB \u00b7 from dl.example.com");
  EXPECT_EQ(detail.retryText(2),
            "Attempt 2 \u00b7 9.5 of 28.6 MB \u00b7 from dl.example.com");
}

TEST(TransferDetailTest, UnitsFollowTheAmounts) {
  double now = 0;
  TransferDetail detail([&now] { return now; });
  detail.start(-1, "");
  detail.add(512);
  EXPECT_EQ(detail.text(), "512 B");
  EXPECT_EQ(detail.retryText(3), "Attempt 3 \u00b7 512 B");

  // Without a length, no time left however steady the speed.
  for (int second = 0; second < 8; ++second) {
    now += 1;
    detail.add(1'500'000);
  }
  EXPECT_EQ(detail.text(), "12.0 MB \u00b7 1.5 MB/s");

  // A slow long download: minutes and hours.
  detail.start(3'000'000'000, "");
  for (int second = 0; second < 4; ++second) {
    now += 1;
    detail.add(200'000);
  }
  EXPECT_EQ(detail.text(), "0.0 of 3.0 GB \u00b7 200.0 kB/s \u00b7 4 h 9 min left");
  detail.start(30'000'000, "");
  for (int second = 0; second < 4; ++second) {
    now += 1;
    detail.add(200'000);
  }
  EXPECT_EQ(detail.text(),
            "0.8 of 30.0 MB \u00b7 200.0 kB/s \u00b7 2 min 26 s left");
}

}  // namespace
