#include "platform/linux/wayland/PipeWireFrames.h"

#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>

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

  // The newest usable frame, kept from the stream (not copied) until a newer one comes, when it goes back.
  // Touched on the loop's thread, or elsewhere with the loop locked.
  pw_buffer* held = nullptr;
  const std::uint8_t* heldPixels = nullptr;
  std::size_t heldStride = 0;
  int heldWidth = 0, heldHeight = 0;
  bool heldRgb = false;

  std::mutex mutex;  // guards `ready`
  std::condition_variable arrived;
  bool ready = false;  // a frame is held

  void SetReady(bool now) {
    std::lock_guard lock(mutex);
    ready = now;
    if (now) arrived.notify_all();
  }

  void Release() {
    if (held) pw_stream_queue_buffer(stream, held);
    held = nullptr;
    SetReady(false);
  }

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
    const std::size_t rowBytes = static_cast<std::size_t>(im.width) * 4;
    const std::size_t stride =
        usable && d.chunk->stride > 0 ? static_cast<std::size_t>(d.chunk->stride) : rowBytes;
    const std::size_t offset = usable ? d.chunk->offset % (d.maxsize ? d.maxsize : 1) : 0;
    if (!usable || stride < rowBytes ||
        offset + stride * (static_cast<std::size_t>(im.height) - 1) + rowBytes > d.maxsize) {
      pw_stream_queue_buffer(im.stream, newest);  // e.g. a change of the pointer alone carries no picture
      return;
    }
    if (im.held) pw_stream_queue_buffer(im.stream, im.held);
    im.held = newest;
    im.heldPixels = static_cast<const std::uint8_t*>(d.data) + offset;
    im.heldStride = stride;
    im.heldWidth = im.width;
    im.heldHeight = im.height;
    im.heldRgb = IsRgbOrder(im.format);
    im.SetReady(true);
  }

  static void OnRemoveBuffer(void* data, pw_buffer* buffer) {
    auto& im = *static_cast<Impl*>(data);
    if (buffer != im.held) return;
    im.held = nullptr;
    im.SetReady(false);
  }

  static void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    auto& im = *static_cast<Impl*>(data);
    if (state == PW_STREAM_STATE_ERROR)
      log::Write(std::string("PipeWire: the screen's stream failed: ") + (error ? error : "unknown error"));
    // The stream stopped (the sharing ended in the desktop, or the monitor changed and the stream is
    // negotiated again, after which a new frame comes): its last frame may no longer be the screen.
    if (state != PW_STREAM_STATE_STREAMING) im.Release();
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
  im.events.remove_buffer = &Impl::OnRemoveBuffer;
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
  return impl_->arrived.wait_for(lock, timeout, [&] { return impl_->ready; });
}

bool PipeWireFrames::Latest(Bitmap24& out, std::chrono::milliseconds timeout) {
  auto& im = *impl_;
  if (!WaitForFirst(timeout)) return false;
  // The stream gives no frame back while its loop is held: the one read is not reused meanwhile.
  pw_thread_loop_lock(im.loop);
  struct Unlock {
    pw_thread_loop* l;
    ~Unlock() { pw_thread_loop_unlock(l); }
  } unlock{im.loop};
  if (!im.held) return false;  // the stream stopped in between
  out.SetSize(im.heldWidth, im.heldHeight);
  for (int y = 0; y < im.heldHeight; ++y) {
    const std::uint8_t* in = im.heldPixels + im.heldStride * static_cast<std::size_t>(y);
    std::uint8_t* row = out.Row(y);
    for (int x = 0; x < im.heldWidth; ++x, in += 4, row += 3) {
      // BGRx lies in memory as blue, green, red, unused: the bitmap's own order.
      row[0] = im.heldRgb ? in[2] : in[0];
      row[1] = in[1];
      row[2] = im.heldRgb ? in[0] : in[2];
    }
  }
  return true;
}

}  // namespace fernpad::portal
