#include <optional>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testing/download_window_fixture.h"

namespace {

// The If-None-Match field of the request, if it has one.
std::optional<std::string> ifNoneMatch(const platform::URLRequest& request) {
  platform::URLResponse fields;
  fields.headerFields = request.headerFields;
  return fields.valueForHeaderField("If-None-Match");
}

// A 304 Not Modified; servers repeat the ETag in it ("" for not).
platform::URLResponse notModified(const std::string& etag) {
  platform::URLResponse response;
  response.statusCode = 304;
  response.url = FakeDownloadWindow::kUrl;
  if (!etag.empty()) response.headerFields.emplace_back("ETag", etag);
  return response;
}

TEST(DownloadRevalidationTest, TheCachedAgentsStampIsOffered) {
  for (const std::optional<std::string>& stamp :
       {std::optional<std::string>("\"v1\""), std::optional<std::string>()}) {
    SCOPED_TRACE(stamp.value_or("none"));
    FakeDownloadWindow w;
    w.cache.stamp = stamp;
    EXPECT_EQ(ifNoneMatch(w.launch().request), stamp);
  }
}

TEST(DownloadRevalidationTest, A304StartsTheCachedAgentItStandsFor) {
  // The server vouches for the offered stamp and sends no archive; whatever
  // ETag the 304 repeats, the offered one is what was confirmed.
  for (const std::string repeated : {"\"v1\"", ""}) {
    SCOPED_TRACE(repeated);
    FakeDownloadWindow w;
    w.cache.stamp = "\"v1\"";
    w.downloads.script = [repeated](platform::FakeDownloadRecord& download) {
      download.respond(notModified(repeated));
      download.finish();
    };

    EXPECT_EQ(w.application.run(), 1);
    EXPECT_EQ(w.controller().validationString(), "\"v1\"");
    EXPECT_EQ(w.download().cancelCalls, 1);
    EXPECT_FALSE(w.window->window.isVisible());
    EXPECT_EQ(w.cache.cachedStarts, 1);
    EXPECT_TRUE(w.cache.installs.empty());
    EXPECT_TRUE(w.log.lines.empty());
  }
}

TEST(DownloadRevalidationTest, A304ThatVouchesForNoCachedAgentFails) {
  // Nothing offered (so no server should answer 304), or the offered agent
  // replaced by another run's before the answer came: no archive follows
  // and nothing cached matches, so the download has failed.
  for (bool offered : {false, true}) {
    SCOPED_TRACE(offered ? "replaced meanwhile" : "nothing offered");
    FakeDownloadWindow w;
    if (offered) w.cache.stamp = "\"v1\"";
    w.downloads.script = [&w, offered](platform::FakeDownloadRecord& download) {
      if (offered) w.cache.stamp = "\"v2\"";
      download.respond(notModified(""));
      EXPECT_FALSE(download.finish()) << "a cancelled download finished";
    };

    EXPECT_EQ(w.application.run(), 0);
    EXPECT_EQ(w.cache.cachedStarts, 0);
    EXPECT_TRUE(w.cache.installs.empty());
    EXPECT_EQ(w.download().cancelCalls, 1);
    EXPECT_EQ(w.log.lines,
              std::vector<std::string>{
                  std::string("Download failed! Error - The server answered "
                              "with HTTP status 304, and no cached agent "
                              "matches it. ") +
                  FakeDownloadWindow::kUrl});
    EXPECT_EQ(w.window->status.textColor(), ui::Color::kRed);
    EXPECT_TRUE(w.window->window.isVisible()) << "waits to be closed";
  }
}

}  // namespace
