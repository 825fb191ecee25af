// A photo stored through the upload port of the built fernpad-server (headless, on a private Xvfb): one
// SaveImage of generated content sent over loopback, timed from its first byte until the stored file has its
// final name and full size. The yardstick, measured in the same run: a bare loop here that accepts a
// loopback connection and copies its bytes in 64 KiB chunks into a file in the same folder, with the same
// promise the server keeps (flushed to the disk, then renamed into place). Then the server's resident
// memory while it stores one large photo.
// Usage: upload_store_bench [MiB per photo, 256] [MiB of the memory run, 1024; 0: none]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../../tests/upload/StreamBytes.h"
#include "Loopback.h"
#include "ServerProcess.h"
#include "Xvfb.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using fernpad::upload::test::Wire;

namespace {

constexpr std::size_t kSendChunk = 1 << 20;   // what the sender hands to one send()
constexpr std::size_t kCopyChunk = 64 << 10;  // what the bare copy reads before each write
constexpr int kRounds = 3;
constexpr auto kUploadTimeout = std::chrono::seconds(120);

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what);
}

// Photo-like bytes as far as a file copy can tell: incompressible, the same megabyte over and over.
const std::vector<std::uint8_t>& ContentBlock() {
  static const std::vector<std::uint8_t> block = [] {
    std::vector<std::uint8_t> bytes(kSendChunk);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (auto& b : bytes) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
  }();
  return block;
}

void SendAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) Fail("send failed");
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
}

// What the handheld's photo app sends to store a photo: SaveImage, the name, the content.
void SendSaveImage(int fd, const std::string& name, std::int64_t size) {
  const auto head = Wire().Int(4).Str(name).Int(static_cast<std::int32_t>(size)).Bytes();
  SendAll(fd, head.data(), head.size());
  const auto& block = ContentBlock();
  for (std::int64_t left = size; left > 0;) {
    const auto take = static_cast<std::size_t>(std::min<std::int64_t>(left, block.size()));
    SendAll(fd, block.data(), take);
    left -= static_cast<std::int64_t>(take);
  }
}

int Connect(int port) {
  const int fd = fernpad::test::ConnectLoopback(static_cast<std::uint16_t>(port));
  timeval timeout{60, 0};  // a server that stops reading ends the run instead of hanging it
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  return fd;
}

// Watches a folder for files renamed or written into it.
class FolderWatch {
 public:
  explicit FolderWatch(const fs::path& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0 || inotify_add_watch(fd_, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE) < 0)
      Fail("cannot watch " + folder.string());
  }
  ~FolderWatch() { ::close(fd_); }
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Waits until `path` exists with `size` bytes; gives the moment it was seen.
  Clock::time_point WaitFor(const fs::path& path, std::uintmax_t size) {
    const auto deadline = Clock::now() + kUploadTimeout;
    while (true) {
      std::error_code ec;
      if (fs::file_size(path, ec) == size && !ec) return Clock::now();
      if (Clock::now() > deadline) Fail("the file " + path.filename().string() + " did not arrive");
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        alignas(inotify_event) char events[4096];
        while (::read(fd_, events, sizeof events) > 0) {
        }
      }
    }
  }

 private:
  int fd_;
};

// The yardstick: accepts connections on 127.0.0.1 and, for each, reads a SaveImage's fields and copies the
// content into a pending file in `folder` in 64 KiB chunks; flushed and renamed into place at the end.
class BareCopy {
 public:
  explicit BareCopy(fs::path folder) : folder_(std::move(folder)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
      Fail("cannot listen on 127.0.0.1");
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] {
      while (!stop_) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0 || stop_) {
          if (fd >= 0) ::close(fd);
          break;
        }
        try {
          Copy(fd);
        } catch (const std::exception& e) {
          std::fprintf(stderr, "bare copy: %s\n", e.what());
        }
        ::close(fd);
      }
    });
  }
  ~BareCopy() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  int Port() const { return port_; }

 private:
  static void ReadAll(int fd, void* into, std::size_t size) {
    auto* p = static_cast<char*>(into);
    while (size > 0) {
      const ssize_t n = ::read(fd, p, size);
      if (n <= 0) Fail("the connection ended");
      p += n;
      size -= static_cast<std::size_t>(n);
    }
  }
  static std::int32_t ReadInt(int fd) {
    std::uint8_t b[4];
    ReadAll(fd, b, sizeof b);
    return static_cast<std::int32_t>(b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t{b[3]} << 24);
  }

  void Copy(int fd) const {
    if (ReadInt(fd) != 4) Fail("not a SaveImage");
    std::string name(static_cast<std::size_t>(ReadInt(fd)), '\0');
    ReadAll(fd, name.data(), name.size());
    std::int64_t left = ReadInt(fd);
    const fs::path pending = folder_ / ("." + name + ".part");
    const int out = ::open(pending.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) Fail("cannot create " + pending.string());
    std::vector<std::uint8_t> buffer(kCopyChunk);
    while (left > 0) {
      // A whole chunk before each write: writing each read as it comes (often a few KiB) is slower.
      const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(left, kCopyChunk));
      ReadAll(fd, buffer.data(), chunk);
      for (std::size_t done = 0; done < chunk;) {
        const ssize_t w = ::write(out, buffer.data() + done, chunk - done);
        if (w <= 0) Fail("cannot write " + pending.string());
        done += static_cast<std::size_t>(w);
      }
      left -= static_cast<std::int64_t>(chunk);
    }
    if (::fsync(out) != 0 || ::close(out) != 0) Fail("cannot flush " + pending.string());
    if (::rename(pending.c_str(), (folder_ / name).c_str()) != 0) Fail("cannot rename " + pending.string());
    const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      (void)::fsync(dir);
      ::close(dir);
    }
  }

  fs::path folder_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Sends one photo to `port` and times it from the first byte until `folder` holds it whole; the file is
// removed afterwards.
double StoreSeconds(int port, const fs::path& folder, const std::string& name, std::int64_t size) {
  FolderWatch watch(folder);
  const int fd = Connect(port);
  const auto start = Clock::now();
  SendSaveImage(fd, name, size);
  const auto stored = watch.WaitFor(folder / name, static_cast<std::uintmax_t>(size));
  ::close(fd);
  fs::remove(folder / name);
  return std::chrono::duration<double>(stored - start).count();
}

// A "Vm...:" line of /proc/<pid>/status in MiB; -1 when it cannot be read.
double StatusMiB(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0)
      return std::strtod(line.c_str() + field.size() + 1, nullptr) / 1024.0;
  }
  return -1;
}

// Stores one photo of `size` bytes while sampling the server's VmRSS every 10 ms.
void MeasureMemory(fernpad::test::ServerProcess& server, const fs::path& folder, std::int64_t size) {
  const pid_t pid = server.Pid();
  const double before = StatusMiB(pid, "VmRSS");
  // Resets VmHWM to the present VmRSS, so that at the end it tells the peak of this upload alone.
  const bool peakReset =
      static_cast<bool>(std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5");
  std::atomic<bool> running{true};
  double highest = before;
  int samples = 0;
  std::thread sampler([&] {
    const auto deadline = Clock::now() + kUploadTimeout;
    while (running && Clock::now() < deadline) {
      highest = std::max(highest, StatusMiB(pid, "VmRSS"));
      ++samples;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  double seconds = 0;
  try {
    seconds = StoreSeconds(server.UploadPort(), folder, "memory-run.bin", size);
  } catch (...) {
    running = false;
    sampler.join();
    throw;
  }
  running = false;
  sampler.join();
  const double after = StatusMiB(pid, "VmRSS");
  const double hwm = StatusMiB(pid, "VmHWM");
  const double growth = std::max(highest, peakReset ? hwm : 0.0) - before;
  std::printf(
      "memory while storing %lld MiB (%.1f s): VmRSS before %.1f MiB, highest of %d samples %.1f MiB, after "
      "%.1f MiB, VmHWM %.1f MiB%s\n",
      static_cast<long long>(size >> 20), seconds, before, samples, highest, after, hwm,
      peakReset ? " (reset before the upload)" : " (since start)");
  std::printf("resident memory growth: %.1f MiB   (goal < 16 MiB)\n", growth);
}

int Run(int argc, char** argv) {
  const long mib = argc > 1 ? std::atol(argv[1]) : 256;
  const long memoryMib = argc > 2 ? std::atol(argv[2]) : 1024;
  if (mib < 1 || mib > 2047 || memoryMib < 0 || memoryMib > 2047) {
    std::fprintf(stderr, "usage: upload_store_bench [MiB 1..2047] [MiB of the memory run 0..2047]\n");
    return 2;
  }
  const std::int64_t size = std::int64_t{mib} << 20;
  const std::int64_t memorySize = std::int64_t{memoryMib} << 20;

  fernpad::test::Xvfb xvfb("640x480x24");
  fernpad::test::ServerProcess::Options options;
  fs::path pictures;
  options.prepare = [&](const std::string& config) {  // the pictures folder, as the desktop names it
    const fs::path home = fs::path(config).parent_path();
    pictures = home / "pictures";
    fs::create_directories(pictures);
    fs::create_directories(home / "xdg-config");
    std::ofstream(home / "xdg-config" / "user-dirs.dirs")
        << "XDG_PICTURES_DIR=\"" << pictures.string() << "\"\n";
  };
  fernpad::test::ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display(), options);
  if (server.UploadPort() == 0 || server.Pid() <= 0) {
    std::fprintf(stderr, "the server has no upload port\n");
    return 1;
  }

  // One photo at a time is on the disk (each is removed after its round); leave a good margin.
  struct statvfs disk {};
  const double freeMiB =
      statvfs(pictures.c_str(), &disk) == 0 ? double(disk.f_bavail) * double(disk.f_frsize) / (1 << 20) : 0;
  const double needMiB = double(std::max(mib, memoryMib)) + 1024;
  if (freeMiB < needMiB) {
    std::fprintf(stderr, "not enough free disk space: %.0f MiB free, %.0f MiB wanted\n", freeMiB, needMiB);
    return 1;
  }

  // The memory run first, on the fresh server: the first photo pays for whatever a connection sets up.
  if (memorySize > 0) MeasureMemory(server, pictures, memorySize);

  BareCopy bare(pictures);
  StoreSeconds(bare.Port(), pictures, "warm.bin", 1 << 20);
  StoreSeconds(server.UploadPort(), pictures, "warm.bin", 1 << 20);
  // Alternating rounds, so both see the same machine; the median round of each.
  std::vector<double> bareSeconds, serverSeconds;
  for (int round = 0; round < kRounds; ++round) {
    const std::string name = "photo-" + std::to_string(round) + ".bin";
    bareSeconds.push_back(StoreSeconds(bare.Port(), pictures, name, size));
    serverSeconds.push_back(StoreSeconds(server.UploadPort(), pictures, name, size));
  }
  std::sort(bareSeconds.begin(), bareSeconds.end());
  std::sort(serverSeconds.begin(), serverSeconds.end());
  const double bareTime = bareSeconds[kRounds / 2];
  const double serverTime = serverSeconds[kRounds / 2];
  std::printf(
      "store %ld MiB, median of %d: server %.0f MiB/s (%.3f s), bare copy %.0f MiB/s (%.3f s), ratio %.2f  "
      "(goal >= 0.8)\n",
      mib, kRounds, mib / serverTime, serverTime, mib / bareTime, bareTime, bareTime / serverTime);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);  // the server, Xvfb and the files are gone again whichever way it ends
  } catch (const std::exception& e) {
    std::fprintf(stderr, "upload_store_bench: %s\n", e.what());
    return 1;
  }
}
