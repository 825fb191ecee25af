#include "platform/linux/wayland/PipeWireFrames.h"

#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

// The PipeWire and SPA headers are C: they and their builder macros, used in this file, use C idioms
// (statement expressions, compound literals) that pedantic C++ warns about.
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include "core/Log.h"

namespace fernpad::portal {

namespace {

// The pixel layouts taken: four bytes a pixel, in either byte order of the colours.
bool IsRgbOrder(std::uint32_t format) {
  return format == SPA_VIDEO_FORMAT_RGBx || format == SPA_VIDEO_FORMAT_RGBA;
}

}  // namespace

struct PipeWireFrames::Impl {
  pw_thread_loop* loop = nullptr;
  pw_context* context = nullptr;
  pw_core* core = nullptr;
  pw_stream* stream = nullptr;
  spa_hook listener{};
  pw_stream_events events{};

  std::uint32_t format = 0;  // set on the loop's thread while it negotiates
  int width = 0, height = 0;

  std::mutex mutex;  // guards the frame
  std::condition_variable arrived;
  std::vector<std::uint8_t> frame;  // the latest frame's rows, 4 bytes a pixel, without padding
  int frameWidth = 0, frameHeight = 0;
  bool frameRgb = false;

  static void OnParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
    auto& im = *static_cast<Impl*>(data);
    if (!param || id != SPA_PARAM_Format) return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) return;
    im.format = info.format;
    im.width = static_cast<int>(info.size.width);
    im.height = static_cast<int>(info.size.height);
    // Frames in memory the program can map (the desktop may offer GPU buffers too).
    std::uint8_t buffer[256];
    spa_pod_builder b;
    spa_pod_builder_init(&b, buffer, sizeof buffer);
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
    pw_stream_update_params(im.stream, params, 1);
  }

  static void OnProcess(void* data) {
    auto& im = *static_cast<Impl*>(data);
    // Only the newest frame matters: give the older ones back at once.
    pw_buffer* newest = nullptr;
    while (pw_buffer* b = pw_stream_dequeue_buffer(im.stream)) {
      if (newest) pw_stream_queue_buffer(im.stream, newest);
      newest = b;
    }
    if (!newest) return;
    const spa_buffer* buf = newest->buffer;
    const spa_data& d = buf->datas[0];
    const bool usable = buf->n_datas > 0 && d.data && d.chunk && d.chunk->size > 0 &&
                        !(d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) && im.width > 0 && im.height > 0 &&
                        im.width <= 32767 && im.height <= 32767;
    if (usable) {
      const std::size_t rowBytes = static_cast<std::size_t>(im.width) * 4;
      const std::size_t stride = d.chunk->stride > 0 ? static_cast<std::size_t>(d.chunk->stride) : rowBytes;
      const std::size_t offset = d.chunk->offset % (d.maxsize ? d.maxsize : 1);
      if (stride >= rowBytes &&
          offset + stride * (static_cast<std::size_t>(im.height) - 1) + rowBytes <= d.maxsize) {
        const auto* src = static_cast<const std::uint8_t*>(d.data) + offset;
        std::lock_guard lock(im.mutex);
        im.frame.resize(rowBytes * static_cast<std::size_t>(im.height));
        for (int y = 0; y < im.height; ++y)
          std::memcpy(im.frame.data() + rowBytes * static_cast<std::size_t>(y),
                      src + stride * static_cast<std::size_t>(y), rowBytes);
        im.frameWidth = im.width;
        im.frameHeight = im.height;
        im.frameRgb = IsRgbOrder(im.format);
        im.arrived.notify_all();
      }
    }
    pw_stream_queue_buffer(im.stream, newest);
  }

  static void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    auto& im = *static_cast<Impl*>(data);
    if (state == PW_STREAM_STATE_ERROR)
      log::Write(std::string("PipeWire: the screen's stream failed: ") + (error ? error : "unknown error"));
    if (state != PW_STREAM_STATE_STREAMING) {
      // The stream stopped (the sharing ended in the desktop, or the monitor changed and the stream is
      // negotiated again, after which a new frame comes): its last frame may no longer be the screen.
      std::lock_guard lock(im.mutex);
      im.frame.clear();
    }
  }

  ~Impl() {
    if (loop) pw_thread_loop_stop(loop);
    if (stream) pw_stream_destroy(stream);
    if (core) pw_core_disconnect(core);
    if (context) pw_context_destroy(context);
    if (loop) pw_thread_loop_destroy(loop);
  }
};

PipeWireFrames::PipeWireFrames(int fd, std::uint32_t node) : impl_(std::make_unique<Impl>()) {
  auto& im = *impl_;
  pw_init(nullptr, nullptr);
  im.loop = pw_thread_loop_new("fernpad-screen", nullptr);
  if (!im.loop) {
    close(fd);
    throw std::runtime_error("PipeWire: cannot start its loop");
  }
  im.context = pw_context_new(pw_thread_loop_get_loop(im.loop), nullptr, 0);
  if (!im.context) {
    close(fd);
    throw std::runtime_error("PipeWire: cannot start");
  }
  if (pw_thread_loop_start(im.loop) < 0) {
    close(fd);
    throw std::runtime_error("PipeWire: cannot start its thread");
  }
  pw_thread_loop_lock(im.loop);
  struct Unlock {
    pw_thread_loop* l;
    ~Unlock() { pw_thread_loop_unlock(l); }
  } unlock{im.loop};
  im.core = pw_context_connect_fd(im.context, fd, nullptr, 0);  // owns fd from here, even on failure
  if (!im.core) throw std::runtime_error("PipeWire: cannot reach the desktop's screen stream");
  im.stream = pw_stream_new(im.core, "fernpad-screen",
                            pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                              PW_KEY_MEDIA_ROLE, "Screen", nullptr));
  if (!im.stream) throw std::runtime_error("PipeWire: cannot make a stream");
  im.events.version = PW_VERSION_STREAM_EVENTS;
  im.events.state_changed = &Impl::OnStateChanged;
  im.events.param_changed = &Impl::OnParamChanged;
  im.events.process = &Impl::OnProcess;
  pw_stream_add_listener(im.stream, &im.listener, &im.events, &im);

  std::uint8_t buffer[1024];
  spa_pod_builder b;
  spa_pod_builder_init(&b, buffer, sizeof buffer);
  spa_rectangle defSize{1920, 1080}, minSize{1, 1}, maxSize{32767, 32767};
  spa_fraction defRate{30, 1}, minRate{0, 1}, maxRate{1000, 1};
  const spa_pod* params[1];
  params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
      SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
      SPA_FORMAT_VIDEO_format,
      SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                             SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
      SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defSize, &minSize, &maxSize),
      SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&defRate, &minRate, &maxRate)));
  if (pw_stream_connect(im.stream, PW_DIRECTION_INPUT, node,
                        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                        params, 1) < 0)
    throw std::runtime_error("PipeWire: cannot connect to the screen's stream");
}

PipeWireFrames::~PipeWireFrames() = default;

bool PipeWireFrames::WaitForFirst(std::chrono::milliseconds timeout) {
  std::unique_lock lock(impl_->mutex);
  return impl_->arrived.wait_for(lock, timeout, [&] { return !impl_->frame.empty(); });
}

bool PipeWireFrames::Latest(Bitmap24& out, std::chrono::milliseconds timeout) {
  auto& im = *impl_;
  std::unique_lock lock(im.mutex);
  if (!im.arrived.wait_for(lock, timeout, [&] { return !im.frame.empty(); })) return false;
  out.SetSize(im.frameWidth, im.frameHeight);
  const std::uint8_t* in = im.frame.data();
  for (int y = 0; y < im.frameHeight; ++y) {
    std::uint8_t* row = out.Row(y);
    for (int x = 0; x < im.frameWidth; ++x, in += 4, row += 3) {
      // BGRx lies in memory as blue, green, red, unused: the bitmap's own order.
      row[0] = im.frameRgb ? in[2] : in[0];
      row[1] = in[1];
      row[2] = im.frameRgb ? in[0] : in[2];
    }
  }
  return true;
}

}  // namespace fernpad::portal
