// Feeds arbitrary bytes to the record decoder and to the options loader.
// Checks: nothing crashes or hangs; a file the decoder accepts encodes back to exactly the same bytes;
// the loader never throws for a file's contents; whatever it loads survives a save and a reload.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "settings/OptionsStore.h"
#include "settings/OrnivoFile.h"

namespace {

namespace fs = std::filesystem;
using fernpad::settings::OptionsStore;
using fernpad::settings::OrnivoFormatError;
using fernpad::settings::TSizeEntry;
namespace record_format = fernpad::settings::record_format;

const fs::path& WorkFolder() {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "fernpad-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) __builtin_trap();
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(WorkFolder(), ec);
    });
    return fs::path(pattern);
  }();
  return folder;
}

void CheckDecoder(std::span<const std::uint8_t> bytes) {
  std::vector<TSizeEntry> entries;
  try {
    record_format::Decode(bytes, entries);
  } catch (const OrnivoFormatError&) {
    return;
  }
  const std::vector<std::uint8_t> again = record_format::Encode(entries);
  if (!std::equal(again.begin(), again.end(), bytes.begin(), bytes.end())) __builtin_trap();
}

void CheckLoader(std::span<const std::uint8_t> bytes) {
  const fs::path file = WorkFolder() / "option.dat";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  OptionsStore store(file, nullptr, "/fallback/");
  const auto loaded = store.LoadOptions();  // must not throw
  if (loaded.MouseAcceleration < 1 || loaded.MouseAcceleration > 100) __builtin_trap();
  if (loaded.DefaultFolder.empty()) __builtin_trap();
  // Huge stored counts load as thousands of empty items; rewriting those would only slow the search.
  if (loaded.AllowedHosts.size() + loaded.DeniedHosts.size() + loaded.Devices.size() > 64) return;
  store.SaveOptions(loaded);
  if (store.LoadOptions() != loaded) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  CheckDecoder(bytes);
  CheckLoader(bytes);
  return 0;
}
