#include "camera/line_matcher.h"

#include <cstdint>
#include <cstring>

#include "camera/kernel.h"
#include "camera/padded_text.h"
#include "camera/text_bytes.h"
#include "camera/usual_layout.h"

namespace camera {
namespace {

// ---- The rules, for any text --------------------------------------------------

using Expected = StopPoint::Expected;

// Where the rules stopped: the command line does not ask, and this compiles to nothing.
struct IgnoreStop {
  void operator()(const char*, Expected) const {}
};

class RecordStop {
 public:
  RecordStop(const char* text, StopPoint& stop) : text_(text), stop_(stop) {}
  void operator()(const char* at, Expected expected) const {
    stop_ = {static_cast<std::size_t>(at - text_), expected};
  }

 private:
  const char* text_;
  StopPoint& stop_;
};

// Reads `key` (its letters and "=") and the number after it into `value`.
// The key is a literal, so the comparison is a single fixed-size compare.
template <std::size_t N, typename Stop>
bool read_item(const char*& cursor, const char* end, const char (&key)[N], std::int32_t& value,
               const Stop& stopped) {
  constexpr std::size_t key_length = N - 1;
  const char* p = skip_space(cursor, end);
  if (static_cast<std::size_t>(end - p) < key_length || std::memcmp(p, key, key_length) != 0) {
    stopped(p, Expected::kKey);
    return false;
  }
  p = skip_space(p + key_length, end);
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == end || !is_digit(*p)) {
    stopped(p, Expected::kNumber);
    return false;
  }
  // Unsigned arithmetic wraps, which is exactly "modulo 2^32" for any number of digits.
  std::uint32_t magnitude = 0;
  do {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(*p - '0');
    ++p;
  } while (p != end && is_digit(*p));
  value = static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
  cursor = p;
  return true;
}

template <typename Stop>
int read_by_the_rules(const char* text, std::size_t length, CameraRecord& record,
                      const Stop& stopped) {
  const char* p = text;
  const char* const end = text + length;
  p = skip_space(p, end);
  if (p == end || *p != '"') {
    stopped(p, Expected::kOpeningQuote);
    return 0;
  }
  const char* const name = ++p;
  p = find_byte(name, find_byte(name, end, '"'), '\0');
  const std::size_t name_length = static_cast<std::size_t>(p - name);
  if (name_length == 0) {
    stopped(p, Expected::kName);
    return 0;
  }
  // Without its closing quote the name has taken the rest of the text.
  if (p == end || *p != '"') {
    stopped(p, Expected::kClosingQuote);
    return 1;
  }
  std::memcpy(record.name, name, name_length);
  record.name_length = name_length;
  ++p;

  if (!read_item(p, end, "x=", record.x, stopped)) return 1;
  if (!read_item(p, end, "y=", record.y, stopped)) return 2;
  if (!read_item(p, end, "z=", record.z, stopped)) return 3;
  if (!read_item(p, end, "pitch=", record.pitch, stopped)) return 4;
  if (!read_item(p, end, "yaw=", record.yaw, stopped)) return 5;
  if (!read_item(p, end, "roll=", record.roll, stopped)) return 6;
  if (!read_item(p, end, "fov=", record.fov, stopped)) return 7;
  stopped(p, Expected::kNothing);
  return 8;
}

}  // namespace

int match_by_the_rules(const char* text, std::size_t length, CameraRecord& record) {
  return read_by_the_rules(text, length, record, IgnoreStop{});
}

int match_by_the_rules(const char* text, std::size_t length, CameraRecord& record,
                       StopPoint& stop) {
  return read_by_the_rules(text, length, record, RecordStop(text, stop));
}

// ---- The usual layout, with each kernel's window ---------------------------------

namespace {

// The matcher with `Window`'s lanes: the usual layout and, unless only that
// is asked for, the rules.
template <typename Window>
int match_with(PaddedText text, CameraRecord& record, bool rules_too) {
  if (text.size() > kPieceCapacity) text = text.first(kPieceCapacity);
  const Window first(text.data());
  if (rules_too) return usual_layout::match_line(first, text, record);
  return usual_layout::match(first, text, record);
}

// One entry point per kernel, with its target: the whole matcher is compiled
// into it.
BRIVEL_PORTABLE_ENTRY int match_portable(PaddedText text, CameraRecord& record, bool rules_too) {
  return match_with<PortableWindow>(text, record, rules_too);
}
#if defined(BRIVEL_HAS_X86_KERNELS)
BRIVEL_SSE2_ENTRY int match_sse2(PaddedText text, CameraRecord& record, bool rules_too) {
  return match_with<Sse2Window>(text, record, rules_too);
}
BRIVEL_AVX2_ENTRY int match_avx2(PaddedText text, CameraRecord& record, bool rules_too) {
  return match_with<Avx2Window>(text, record, rules_too);
}
#endif
#if defined(BRIVEL_HAS_SIMD128_KERNEL)
BRIVEL_SIMD128_ENTRY int match_simd128(PaddedText text, CameraRecord& record, bool rules_too) {
  return match_with<Simd128Window>(text, record, rules_too);
}
#endif

int match_with(Kernel kernel, PaddedText text, CameraRecord& record, bool rules_too) {
  switch (kernel) {
#if defined(BRIVEL_HAS_X86_KERNELS)
    case Kernel::kSse2:
      return match_sse2(text, record, rules_too);
    case Kernel::kAvx2:
      return match_avx2(text, record, rules_too);
#endif
#if defined(BRIVEL_HAS_SIMD128_KERNEL)
    case Kernel::kSimd128:
      return match_simd128(text, record, rules_too);
#endif
    default:
      return match_portable(text, record, rules_too);
  }
}

}  // namespace

int match_usual_layout(PaddedText text, CameraRecord& record, Kernel kernel) {
  return match_with(kernel, text, record, false);
}

int match_camera_line_in_place(PaddedText text, CameraRecord& record, Kernel kernel) {
  return match_with(kernel, text, record, true);
}

int match_camera_line(std::string_view text, CameraRecord& record) {
  if (text.size() > kPieceCapacity) text = text.substr(0, kPieceCapacity);
  PaddedStorage<kPieceCapacity> padded;
  std::memcpy(padded.data(), text.data(), text.size());
  std::memset(padded.data() + text.size(), 0, kReadAhead);
  return match_camera_line_in_place(padded.text(0, text.size()), record);
}

}  // namespace camera
