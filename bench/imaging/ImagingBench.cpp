// ShrinkTo and the plain scaling measured against the same run's JPEG encode of a 1920 x 1080 frame at
// quality 80, the fixed yardstick: every snapshot pays for one such encode, and the goal is that the smooth
// reduction costs no more than it. Prints the ratios after the table.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ShrinkReference.h"
#include "core/Bitmap24.h"
#include "imaging/AreaAverage.h"
#include "imaging/BMPUtil.h"
#include "imaging/Jpeg.h"
#include "imaging/PlainScale.h"

namespace fernpad {
namespace {

// A desktop-like frame: a gradient background, flat windows and a band of fine detail.
Bitmap24 Frame(int w, int h) {
  Bitmap24 bmp(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = bmp.Pixel(x, y);
      const bool window = (x / 480 + y / 360) % 2 == 1;
      const bool detail = y % 270 < 40;
      p[0] = static_cast<std::uint8_t>(window ? 236 : (x * 255) / w);
      p[1] = static_cast<std::uint8_t>(window ? 236 : (y * 255) / h);
      p[2] = static_cast<std::uint8_t>(window ? 240 : 128);
      if (detail && (x * 7 + y * 3) % 11 < 4) p[0] = p[1] = p[2] = 20;  // text-like strokes
    }
  }
  return bmp;
}

const Bitmap24& Full() {
  static const Bitmap24 frame = Frame(1920, 1080);
  return frame;
}

void BM_JpegEncode_1920x1080_q80(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(EncodeJpeg(Full(), 80));
}
BENCHMARK(BM_JpegEncode_1920x1080_q80)->Unit(benchmark::kMillisecond);

void Shrink(benchmark::State& state, int w, int h) {
  for (auto _ : state) {
    state.PauseTiming();
    Bitmap24 bmp = Full();
    state.ResumeTiming();
    TBMPUtil util;
    util.SetBitmap(bmp);
    util.ShrinkTo(w, h);
    benchmark::DoNotOptimize(bmp.Row(0));
  }
}
void BM_ShrinkTo_1920x1080_to_400x300(benchmark::State& state) {
  Shrink(state, 400, 300);
}
void BM_ShrinkTo_1920x1080_to_1024x768(benchmark::State& state) {
  Shrink(state, 1024, 768);
}
BENCHMARK(BM_ShrinkTo_1920x1080_to_400x300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShrinkTo_1920x1080_to_1024x768)->Unit(benchmark::kMillisecond);

// The portable kernels, which processors without AVX2 and FMA run.
void PortableShrink(benchmark::State& state, int w, int h) {
  area_average::UseKernels(area_average::Kernels::Portable);
  Shrink(state, w, h);
  area_average::UseKernels(area_average::Kernels::Best);
}
void BM_ShrinkToPortable_1920x1080_to_400x300(benchmark::State& state) {
  PortableShrink(state, 400, 300);
}
void BM_ShrinkToPortable_1920x1080_to_1024x768(benchmark::State& state) {
  PortableShrink(state, 1024, 768);
}
BENCHMARK(BM_ShrinkToPortable_1920x1080_to_400x300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShrinkToPortable_1920x1080_to_1024x768)->Unit(benchmark::kMillisecond);

// The straightforward per-pixel form, for scale.
void BM_ShrinkReference_1920x1080_to_400x300(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Bitmap24 bmp = Full();
    state.ResumeTiming();
    test::ReferenceShrinkTo(bmp, 400, 300);
    benchmark::DoNotOptimize(bmp.Row(0));
  }
}
BENCHMARK(BM_ShrinkReference_1920x1080_to_400x300)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ScaleNearest_1920x1080_to_400x300(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ScaleNearest(Full(), 400, 300));
}
void BM_ScaleNearest_1920x1080_to_1024x768(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ScaleNearest(Full(), 1024, 768));
}
void BM_ScaleNearest_800x600_to_1024x768(benchmark::State& state) {
  static const Bitmap24 small = Frame(800, 600);
  for (auto _ : state) benchmark::DoNotOptimize(ScaleNearest(small, 1024, 768));
}
BENCHMARK(BM_ScaleNearest_1920x1080_to_400x300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleNearest_1920x1080_to_1024x768)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleNearest_800x600_to_1024x768)->Unit(benchmark::kMillisecond);

void BM_RotateRight_4000x3000(benchmark::State& state) {
  static const Bitmap24 photo = Frame(4000, 3000);
  for (auto _ : state) {
    state.PauseTiming();
    Bitmap24 bmp = photo;
    state.ResumeTiming();
    TBMPUtil util;
    util.SetBitmap(bmp);
    util.RotateRight();
    benchmark::DoNotOptimize(bmp.Row(0));
  }
}
BENCHMARK(BM_RotateRight_4000x3000)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace
}  // namespace fernpad

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  fernpad::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto yardstick = reporter.times.find("BM_JpegEncode_1920x1080_q80");
  if (yardstick == reporter.times.end() || yardstick->second <= 0) return 0;
  std::printf(
      "\nCost relative to one JPEG encode of 1920x1080 at q80 (goal for ShrinkTo: at most 1.00),\n"
      "shrink kernels: %s\n",
      fernpad::area_average::BestKernelsAreVectorised() ? "AVX2+FMA" : "portable");
  for (const auto& [name, time] : reporter.times) {
    if (name == yardstick->first) continue;
    std::printf("  %-45s %6.2f\n", name.c_str(), time / yardstick->second);
  }
  return 0;
}
