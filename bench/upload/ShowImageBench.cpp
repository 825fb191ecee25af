// A 4000 x 3000 photo taken with the handheld turned (EXIF orientation 6) shown through StoreShownImage:
// read from the connection, turned upright, encoded again at quality 95 and stored as "temp.jpg" on the real
// disk. The yardstick, measured in the same run: the same photo decoded and encoded again at quality 95
// without turning, stored in the same folder the same way. The goal is that turning costs at most 30% more.
// Usage: show_image_bench [rounds]
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "../../tests/upload/StreamBytes.h"
#include "core/Bitmap24.h"
#include "imaging/BMPUtil.h"
#include "imaging/Jpeg.h"
#include "upload/ReceivedFiles.h"
#include "upload/ShownImage.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

double MedianMs(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

double TimeMs(const std::function<void()>& work) {
  const auto t0 = Clock::now();
  work();
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// A photo as far as the JPEG coder can tell: smooth light over the frame, soft round shapes with sharp
// edges, and fine grain everywhere, so that neither flat areas nor noise dominate.
fernpad::Bitmap24 PhotoLike() {
  fernpad::Bitmap24 photo(kWidth, kHeight);
  std::uint32_t grain = 12345;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* p = photo.Row(y);
    for (int x = 0; x < kWidth; ++x, p += 3) {
      grain = grain * 1664525u + 1013904223u;
      const int noise = static_cast<int>(grain >> 28) - 8;
      const int dx = x % 900 - 450, dy = y % 700 - 350;
      const bool inside = dx * dx + dy * dy < 300 * 300;
      const int r = (inside ? 200 : 90) + x * 50 / kWidth + noise;
      const int g = (inside ? 120 : 140) + y * 60 / kHeight + noise;
      const int b = (inside ? 60 : 170) - (x + y) * 40 / (kWidth + kHeight) + noise;
      p[0] = static_cast<std::uint8_t>(std::clamp(b, 0, 255));
      p[1] = static_cast<std::uint8_t>(std::clamp(g, 0, 255));
      p[2] = static_cast<std::uint8_t>(std::clamp(r, 0, 255));
    }
  }
  return photo;
}

// The camera's file: the JPEG with an APP1 EXIF block holding only the orientation, right after SOI.
std::string WithOrientation(const std::string& jpeg, int orientation) {
  std::string exif = std::string("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24);
  exif += {static_cast<char>(orientation), 0, 0, 0, 0, 0, 0, 0};
  const std::size_t length = exif.size() + 2;
  const std::string app1 = std::string("\xFF\xE1") + char(length >> 8) + char(length & 0xFF) + exif;
  return jpeg.substr(0, 2) + app1 + jpeg.substr(2);
}

// A fresh folder under the system's temporary folder, removed with what it holds.
class TempFolder {
 public:
  TempFolder() {
    std::string name = (fs::temp_directory_path() / "fernpad-show-bench-XXXXXX").string();
    if (!mkdtemp(name.data())) throw std::runtime_error("mkdtemp");
    path_ = name;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

int Run(int argc, char** argv) {
  const int rounds = argc > 1 ? std::clamp(std::atoi(argv[1]), 3, 100) : 7;
  const std::string photo = WithOrientation(fernpad::EncodeJpeg(PhotoLike(), 92), 6);
  const std::vector<std::uint8_t> wire(photo.begin(), photo.end());
  TempFolder folder;
  struct statfs info {};
  if (statfs(folder.Path().c_str(), &info) == 0 && info.f_type == 0x01021994)  // TMPFS_MAGIC
    std::printf("note: %s is in memory (tmpfs), not on a disk\n", folder.Path().c_str());
  const auto files = fernpad::upload::MakeUploadFileSystem();

  // The handheld's photo shown: from the connection's bytes to temp.jpg, turned.
  const auto shown = [&] {
    fernpad::upload::test::MemorySource source(wire);
    fernpad::upload::ContentReader content(source, static_cast<std::int64_t>(wire.size()));
    return TimeMs([&] { fernpad::upload::StoreShownImage(*files, folder.Path(), content); });
  };
  // The yardstick: decode, encode at quality 95, store the same way.
  const auto plain = [&] {
    return TimeMs([&] {
      const std::string again = fernpad::EncodeJpeg(fernpad::DecodeJpeg(photo), 95);
      const auto file = files->Create(folder.Path(), folder.Path() / "plain.jpg");
      file->Write(std::span(reinterpret_cast<const std::uint8_t*>(again.data()), again.size()));
      file->Commit();
    });
  };

  shown();  // warm
  plain();
  std::vector<double> shownMs, plainMs;
  for (int round = 0; round < rounds; ++round) {  // alternating, so both see the same machine
    plainMs.push_back(plain());
    shownMs.push_back(shown());
  }
  // The photo shown is the upright one.
  std::ifstream in(folder.Path() / fernpad::upload::kShownImageName, std::ios::binary);
  const std::string stored{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const fernpad::Bitmap24 upright = fernpad::DecodeJpeg(stored);
  if (upright.Width() != kHeight || upright.Height() != kWidth) {
    std::fprintf(stderr, "temp.jpg is %dx%d, not turned\n", upright.Width(), upright.Height());
    return 1;
  }

  // Where the time goes, for the record.
  std::vector<double> decodeMs, turnMs, encodeMs;
  for (int round = 0; round < rounds; ++round) {
    fernpad::Bitmap24 picture;
    decodeMs.push_back(TimeMs([&] { picture = fernpad::DecodeJpeg(photo); }));
    turnMs.push_back(TimeMs([&] {
      fernpad::TBMPUtil util;
      util.SetBitmap(picture);
      util.RotateRight();
    }));
    encodeMs.push_back(TimeMs([&] { fernpad::EncodeJpeg(picture, 95); }));
  }

  const double shownMedian = MedianMs(shownMs), plainMedian = MedianMs(plainMs);
  std::printf("show a %dx%d photo (%.1f MiB, EXIF orientation 6), median of %d rounds\n", kWidth, kHeight,
              photo.size() / 1048576.0, rounds);
  std::printf("  StoreShownImage, turned       %7.1f ms\n", shownMedian);
  std::printf("  decode + encode q95 + store   %7.1f ms\n", plainMedian);
  std::printf("  parts: decode %.1f ms, RotateRight %.1f ms, encode q95 %.1f ms\n", MedianMs(decodeMs),
              MedianMs(turnMs), MedianMs(encodeMs));
  std::printf("ratio turned / plain: %.2f  (goal <= 1.3)\n", shownMedian / plainMedian);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);  // the temporary folder goes whichever way it ends
  } catch (const std::exception& e) {
    std::fprintf(stderr, "show_image_bench: %s\n", e.what());
    return 1;
  }
}
