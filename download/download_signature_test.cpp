#include <fstream>
#include <string>

#include "gtest/gtest.h"
#include "testing/download_window_fixture.h"
#include "testing/signature_vectors.h"

namespace {

const std::string kSignatureUrl = std::string(FakeDownloadWindow::kUrl) +
                                  ".minisig";

PublicKey vectorKey() {
  PublicKey key;
  std::string error;
  EXPECT_TRUE(parsePublicKey(kVectorPublicKey, &key, &error)) << error;
  return key;
}

// Plays a download of "content" into its destination, written as a real
// download writes it: the file first, then each piece before it is told.
void deliver(platform::FakeDownloadRecord& download,
             const std::string& content) {
  std::ofstream file(download.destination, std::ios::binary);
  download.respond(serverResponse("\"v2\"", static_cast<std::int64_t>(
                                               content.size())));
  for (std::size_t at = 0; at < content.size(); at += 5) {
    file << content.substr(at, 5) << std::flush;
    download.receive(std::min<std::size_t>(5, content.size() - at));
  }
  download.finish();
}

// The window with the vector key: the server sends the vector archive, then
// plays "signature" for its .minisig.
struct SignedWindow : FakeDownloadWindow {
  explicit SignedWindow(
      std::function<void(platform::FakeDownloadRecord&)> signature)
      : FakeDownloadWindow(vectorKey()) {
    downloads.script = [this, signature](platform::FakeDownloadRecord& d) {
      if (d.request.url == kUrl) return deliver(d, kVectorArchive);
      statusWhileChecking = window->status.stringValue();
      signature(d);
    };
  }
  std::string statusWhileChecking;
};

TEST(DownloadSignatureTest, TheArchiveIsInstalledOnceItsSignatureHolds) {
  for (const char* signature :
       {kVectorPrehashedSignature, kVectorLegacySignature}) {
    SignedWindow w([signature](platform::FakeDownloadRecord& d) {
      deliver(d, signature);
    });
    w.cache.stamp = "\"v1\"";

    EXPECT_EQ(w.application.run(), 1);
    ASSERT_EQ(w.downloads.started.size(), 2u);
    const platform::FakeDownloadRecord& fetch = *w.downloads.started[1];
    EXPECT_EQ(fetch.request.url, kSignatureUrl);
    EXPECT_EQ(fetch.request.timeoutInterval, 60.0);
    EXPECT_TRUE(fetch.request.headerFields.empty());
    EXPECT_EQ(fetch.destination, w.bundle.root() + "/InstallAgent.zip.minisig");
    EXPECT_TRUE(fetch.deletesFileUponFailure);
    EXPECT_EQ(w.statusWhileChecking, "Checking the installer's signature");
    ASSERT_EQ(w.cache.installs.size(), 1u);
    EXPECT_EQ(w.cache.installs[0].etag, "\"v2\"");
  }
}

TEST(DownloadSignatureTest, WithoutAValidSignatureNothingIsInstalled) {
  std::string changed = kVectorPrehashedSignature;
  changed.replace(changed.find("release 1"), 9, "release 2");
  struct Case {
    std::function<void(platform::FakeDownloadRecord&)> signature;
    std::string reason;
  };
  for (const Case& c : {
           Case{[](platform::FakeDownloadRecord& d) {
                  d.fail({"The server answered with HTTP status 404.",
                          kSignatureUrl});
                },
                "The server answered with HTTP status 404."},
           Case{[changed](platform::FakeDownloadRecord& d) {
                  deliver(d, changed);
                },
                "The trusted comment does not match the signature."},
           Case{[](platform::FakeDownloadRecord& d) {
                  d.respond(serverResponse(std::nullopt, -1));
                  d.receive(20000);
                  EXPECT_FALSE(d.live()) << "not cancelled";
                },
                "The signature is larger than 16384 bytes."},
       }) {
    SCOPED_TRACE(c.reason);
    SignedWindow w(c.signature);

    EXPECT_EQ(w.application.run(), 0);
    EXPECT_TRUE(w.cache.installs.empty());
    EXPECT_EQ(w.window->status.stringValue(),
              "The installer's signature is not valid.");
    EXPECT_EQ(w.window->status.textColor(), ui::Color::kRed);
    ASSERT_EQ(w.log.lines.size(), 1u);
    EXPECT_EQ(w.log.lines[0], "Signature check failed! Error - " + c.reason +
                                  " " + kSignatureUrl);
  }
}

TEST(DownloadSignatureTest, EitherDownloadFailingStopsTheOther) {
  {
    // The signature is missing: the rest of the archive is not waited for.
    FakeDownloadWindow w(vectorKey());
    platform::FakeDownloadRecord& archive = w.launch();
    archive.respond(serverResponse("\"v2\"", 1000));
    archive.receive(10);
    ASSERT_EQ(w.downloads.started.size(), 2u);
    EXPECT_EQ(w.downloads.started[1]->request.url, kSignatureUrl);

    w.downloads.started[1]->fail(
        {"The server answered with HTTP status 404.", kSignatureUrl});
    EXPECT_EQ(archive.cancelCalls, 1);
    EXPECT_EQ(w.window->status.stringValue(),
              "The installer's signature is not valid.");
    EXPECT_TRUE(w.cache.installs.empty());
  }
  {
    // The archive fails: its failure is the one shown.
    FakeDownloadWindow w(vectorKey());
    platform::FakeDownloadRecord& archive = w.launch();
    archive.respond(serverResponse("\"v2\"", 1000));
    archive.fail({"Connection reset.", FakeDownloadWindow::kUrl});
    ASSERT_EQ(w.downloads.started.size(), 2u);
    EXPECT_EQ(w.downloads.started[1]->cancelCalls, 1);
    ASSERT_EQ(w.log.lines.size(), 1u);
    EXPECT_EQ(w.log.lines[0].rfind("Download failed!", 0), 0u);
  }
}

TEST(DownloadSignatureTest, ClosingTheWindowStopsTheSignatureDownload) {
  SignedWindow w([](platform::FakeDownloadRecord&) {});
  w.application.run();
  ASSERT_EQ(w.downloads.started.size(), 2u);
  EXPECT_TRUE(w.window->cancel.isEnabled());

  w.window->cancel.performClick();
  EXPECT_EQ(w.downloads.started[1]->cancelCalls, 1);
  EXPECT_TRUE(w.stopRequested());
  EXPECT_TRUE(w.cache.installs.empty());
}

}  // namespace
