#include "camera/block_writer.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace camera {
namespace {

constexpr std::string_view kHead = "{\n\"classname\" \"info_camera\"\n\"name\" \"";
constexpr std::string_view kOrigin = "\"\n\"origin\" \"";
constexpr std::string_view kAngles = "\"\n\"angles\" \"";
constexpr std::string_view kFov = "\"\n\"fov\" \"";
constexpr std::string_view kTail = "\"\n}\n";

static_assert(kHead.size() + kOrigin.size() + kAngles.size() + kFov.size() + kTail.size() + 4 ==
                  kMaxBlockLength - kNameCapacity - 7 * 11,
              "kMaxBlockLength must count every fixed byte of the block, spaces included");

char* put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

char* put(char* out, std::int32_t value) {
  // Eleven characters hold every 32-bit value, so the conversion cannot fail.
  return std::to_chars(out, out + 11, value).ptr;
}

char* put_triple(char* out, std::int32_t a, std::int32_t b, std::int32_t c) {
  out = put(out, a);
  *out++ = ' ';
  out = put(out, b);
  *out++ = ' ';
  return put(out, c);
}

}  // namespace

char* append_block(const CameraRecord& record, char* out) {
  out = put(out, kHead);
  out = put(out, std::string_view(record.name, record.name_length));
  out = put(out, kOrigin);
  out = put_triple(out, record.x, record.y, record.z);
  out = put(out, kAngles);
  out = put_triple(out, record.pitch, record.yaw, record.roll);
  out = put(out, kFov);
  out = put(out, record.fov);
  return put(out, kTail);
}

}  // namespace camera
