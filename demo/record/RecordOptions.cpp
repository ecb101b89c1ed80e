#include "demo/record/RecordOptions.h"

#include <charconv>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace qibo::demo {

namespace {

// A whole decimal number without sign or padding; false for anything else.
bool ParseNumber(std::string_view text, int& value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseSize(std::string_view text, int& width, int& height, std::string& error) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos || !ParseNumber(text.substr(0, x), width) ||
      !ParseNumber(text.substr(x + 1), height)) {
    error = "--size needs WIDTHxHEIGHT, for example 640x480, not \"" + std::string(text) + "\"";
    return false;
  }
  const int lo = RecordOptions::kMinSide, hi = RecordOptions::kMaxSide;
  if (width < lo || height < lo || width > hi || height > hi) {
    error = "--size " + std::string(text) + " is out of range: each side must be " + std::to_string(lo) +
            " to " + std::to_string(hi);
    return false;
  }
  if (width % 2 || height % 2) {
    error = "--size " + std::string(text) + ": width and height must be even";
    return false;
  }
  return true;
}

bool ParseFps(std::string_view text, int& fps, std::string& error) {
  if (!ParseNumber(text, fps)) {
    error = "--fps needs a whole number of frames per second, not \"" + std::string(text) + "\"";
    return false;
  }
  if (fps < 1 || fps > RecordOptions::kMaxFps) {
    error = "--fps " + std::string(text) + " is out of range: 1 to " + std::to_string(RecordOptions::kMaxFps);
    return false;
  }
  return true;
}

}  // namespace

bool ParseRecordOptions(int argc, const char* const* argv, RecordOptions& options, std::string& error) {
  RecordOptions parsed = options;
  error.clear();
  for (int i = 1; i < argc; ++i) {
    if (!argv[i]) continue;
    const std::string_view arg = argv[i];
    std::string_view name = arg, value;
    bool inlineValue = false;
    if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inlineValue = true;
    }
    if (name == "--fullscreen" && !inlineValue) {
      parsed.fullScreen = true;
      continue;
    }
    if (name != "--record" && name != "--size" && name != "--fps" && name != "--quality") continue;
    if (!inlineValue) {
      if (i + 1 >= argc || !argv[i + 1]) {
        error = std::string(name) + (name == "--record" ? " needs a file name" : " needs a value");
        return false;
      }
      value = argv[++i];
    }
    if (name == "--record") {
      if (value.empty()) {
        error = "--record needs a file name";
        return false;
      }
      std::error_code failed;
      const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(value), failed);
      if (failed) {
        error = "--record " + std::string(value) + ": " + failed.message();
        return false;
      }
      parsed.path = absolute.string();
    } else if (name == "--size") {
      if (!ParseSize(value, parsed.width, parsed.height, error)) return false;
      parsed.sizeGiven = true;
    } else if (name == "--quality") {
      if (!ParseQuality(std::string(value), parsed.quality)) {
        error = "--quality needs draft, normal, high or lossless, not \"" + std::string(value) + "\"";
        return false;
      }
    } else if (!ParseFps(value, parsed.fps, error)) {
      return false;
    }
  }
  options = parsed;
  return true;
}

}  // namespace qibo::demo
