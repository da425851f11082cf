// The clipboard from the language: through the in-process store and, when
// Xvfb and xclip are installed, through xclip on a virtual X server. Also
// the image mends that need the C++ side: a bottom-up bitmap on the
// clipboard comes out upright and is checked against its data, and a copy
// that cannot get its pixels raises instead of making an empty image.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/boot.h"
#include "platform/bitmap.h"
#include "platform/clipboard.h"
#include "runtime/collector.h"
#include "start/start.h"
#include "tests/evaluator/cases.h"

namespace xeb::test {
namespace {

namespace bm = platform::bitmap;
namespace cb = platform::clipboard;

class Clipboard : public LanguageCases {
 protected:
  static void SetUpTestSuite() {
    LanguageCases::SetUpTestSuite();
    library::set_command_line(0, nullptr);
    start::boot();
  }
  void SetUp() override {
    LanguageCases::SetUp();
    cb::force(cb::Backend::store);
  }
  static std::string cases() { return XEB_IMAGE_FIXTURES "/../clipboard.txt"; }
};

TEST_F(Clipboard, StoreKeepsWhatIsWritten) {
  EXPECT_GT(check_file(cases()), 0u);
  EXPECT_EQ(run("write-clipboard none read-clipboard"), "none");
}

// A BMP's rows run bottom-up; the file's size must hold them all.
TEST_F(Clipboard, BottomUpBitmapComesOutUprightAndChecked) {
  bm::Bitmap* b = bm::make(2, 2);
  b->pixels[0] = 0xFF010203, b->pixels[1] = 0xFF040506, b->pixels[2] = 0xFF070809, b->pixels[3] = 0xFF0A0B0C;
  std::vector<uint8_t> bmp;
  ASSERT_TRUE(bm::encode(*b, bm::Format::bmp, bmp));
  bm::release(b);
  ASSERT_GT(bmp[22], 0);  // a positive height: bottom-up rows
  cb::set("image/bmp", std::string(bmp.begin(), bmp.end()));
  EXPECT_EQ(run("mold read-clipboard"), "\"make image! [2x2 #{0102030405060708090A0B0C}]\"");
  bmp[22] = 200;  // 200 rows claimed, 2 present
  cb::set("image/bmp", std::string(bmp.begin(), bmp.end()));
  EXPECT_EQ(run("read-clipboard"), "error: bad-media");
}

TEST_F(Clipboard, CopyWithoutMemoryRaises) {
  EXPECT_EQ(run("img: make image! [4x4 1.2.3] length? img"), "16");
  int64_t saved = bm::live_limit;
  bm::live_limit = bm::live_bytes() + 8;
  EXPECT_EQ(run("copy img"), "error: no-memory");
  EXPECT_EQ(run("copy/part at img 6 2x2"), "error: no-memory");
  EXPECT_EQ(run("make image! 3x3"), "error: no-memory");
  bm::live_limit = saved;
  EXPECT_EQ(run("length? copy img"), "16");
}

bool on_path(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A virtual X server for the test's life; display() is empty when it did not start.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int p[2];
    if (pipe(p) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(p[1], 3);
      int null = open("/dev/null", O_RDWR);
      dup2(null, 1);
      dup2(null, 2);
      execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "64x64x24", nullptr);
      _exit(127);
    }
    close(p[1]);
    char buf[16] = {};
    ssize_t n = pid_ > 0 ? read(p[0], buf, sizeof buf - 1) : 0;
    close(p[0]);
    if (n > 0) display_ = ":" + std::string(buf, size_t(n - (buf[n - 1] == '\n')));
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

TEST_F(Clipboard, XclipOnAVirtualDisplay) {
  if (!on_path("Xvfb") || !on_path("xclip")) GTEST_SKIP() << "Xvfb or xclip not installed";
  VirtualDisplay x;
  if (x.display().empty()) GTEST_SKIP() << "Xvfb did not start";
  setenv("DISPLAY", x.display().c_str(), 1);
  cb::force(cb::Backend::xclip);
  EXPECT_GT(check_file(cases()), 0u);
  cb::force(cb::Backend::store);
}

}  // namespace
}  // namespace xeb::test
