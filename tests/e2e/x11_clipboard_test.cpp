// Fetching another program's clipboard over a connection of our own, against xclip
// in a private X server: a transfer in chunks (INCR) arrives whole, a small one in
// one piece, the first target given wins, and a cancel or a missing owner ends it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "app/x11_clipboard_transfer.h"
#include "x_server_test.h"

namespace zelk::e2e {
namespace {

class X11ClipboardTest : public XServerTest {
 protected:
  void TearDown() override {
    owner_.reset();
    XServerTest::TearDown();
  }

  // xclip owns the clipboard with these bytes as type, until the test ends.
  void Offer(const std::vector<std::uint8_t>& bytes, const std::string& type) {
    const std::string path = root_ + "/offered";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ChildProcess::Options options;
    options.extra_env = server_->Env();
    options.stdout_file = "/dev/null";
    owner_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"xclip", "-quiet", "-selection", "clipboard", "-t", type, "-i",
                                 path},
        options);
    ASSERT_TRUE(WaitUntil([&] {
      return RunCommand({"xclip", "-selection", "clipboard", "-t", "TARGETS", "-o"}, server_->Env())
                 .output.find(type) != std::string::npos;
    }));
  }

  std::optional<std::vector<std::uint8_t>> Read(const std::vector<std::string>& targets,
                                                std::string& error) {
    return ReadX11Clipboard(X11ClipboardRequest{server_->Display(), targets}, cancel_, error);
  }

  static std::vector<std::uint8_t> Noise(std::size_t size) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
  }

  std::unique_ptr<ChildProcess> owner_;
  std::atomic<bool> cancel_{false};
};

TEST_F(X11ClipboardTest, ALargeTransferInChunksArrivesWholeAndInOrder) {
  const std::vector<std::uint8_t> offered = Noise(9'000'001);  // far past one request
  Offer(offered, "image/png");
  std::string error;
  const auto got = Read({"image/bmp", "image/png"}, error);  // BMP is not offered
  ASSERT_TRUE(got) << error;
  EXPECT_TRUE(*got == offered) << got->size() << " bytes of " << offered.size();
}

TEST_F(X11ClipboardTest, ASmallTransferArrivesInOnePiece) {
  const std::vector<std::uint8_t> offered = Noise(1000);
  Offer(offered, "image/jpeg");
  std::string error;
  const auto got = Read({"image/jpeg"}, error);
  ASSERT_TRUE(got) << error;
  EXPECT_TRUE(*got == offered);
}

TEST_F(X11ClipboardTest, NothingOfferedOrACancelEndsWithAReason) {
  std::string error;
  EXPECT_FALSE(Read({"image/png"}, error));  // no owner at all
  EXPECT_EQ(error, "the program that owns the clipboard gave no picture");

  Offer(Noise(1000), "image/png");
  cancel_ = true;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(Read({"image/png"}, error));
  EXPECT_EQ(error, "cancelled");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

}  // namespace
}  // namespace zelk::e2e
