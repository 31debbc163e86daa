// Text with room after it. The matcher and the read loop's cutter read whole
// 64-byte windows and eight-byte words, which may reach past the end of the
// text; a PaddedText is text whose storage has that room, so that they read
// only bytes that belong to the program. Bytes in the room never change an
// answer: they may be the next line, or anything an earlier read left there.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace camera {

// The bound: how many bytes past the end of its text a PaddedText lets be
// read. The furthest reader is the matcher's usual layout, from the start of
// the text: its second window starts at the name's closing quote, at most 63
// bytes in; the text ends by that window's byte 62, and the furthest load is a
// key's eight bytes, which start at the end of the item before: by the
// window's byte 61 where a digit follows the key in the text (the portable
// words load fov's key even where none does, but from no further than the
// text's end). The cutter reads at most a window, 64
// bytes, past the start of a search it begins before the end of the text.
// The sanitizer tests hold every reader to exactly this room.
constexpr std::size_t kReadAhead = 63 + 61 + 8;

template <std::size_t Capacity>
class PaddedStorage;
class PaddedCopy;

// `size()` bytes from `data()`, followed by kReadAhead readable bytes. Made
// only by PaddedStorage (the read loop's buffer) and PaddedCopy.
class PaddedText {
 public:
  const char* data() const { return bytes_; }
  std::size_t size() const { return size_; }
  // The first `length` bytes (at most size()): the room after them is larger.
  PaddedText first(std::size_t length) const { return {bytes_, length}; }

 private:
  PaddedText(const char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
  template <std::size_t Capacity>
  friend class PaddedStorage;
  friend class PaddedCopy;

  const char* bytes_;
  std::size_t size_;
};

// Storage in place for up to `Capacity` bytes of text and the room after
// them: the read loop's input buffer. Zeroed when it is static or made with
// `new T()`, so that even the room holds bytes that were written.
template <std::size_t Capacity>
class PaddedStorage {
 public:
  char* data() { return bytes_; }
  // The bytes from `start` to `end`, where start <= end <= Capacity.
  PaddedText text(std::size_t start, std::size_t end) const {
    return {bytes_ + start, end - start};
  }

 private:
  char bytes_[Capacity + kReadAhead];
};

// A text of a given length on the heap, with the room after it: zeroed, or a
// copy of other text. Without memory it is empty and data() is null.
class PaddedCopy {
 public:
  explicit PaddedCopy(std::size_t length)
      : bytes_(static_cast<char*>(std::calloc(length + kReadAhead, 1))),
        size_(bytes_ != nullptr ? length : 0) {}
  explicit PaddedCopy(std::string_view text) : PaddedCopy(text.size()) {
    if (bytes_ != nullptr && !text.empty()) std::memcpy(bytes_, text.data(), text.size());
  }
  PaddedCopy(const PaddedCopy&) = delete;
  PaddedCopy& operator=(const PaddedCopy&) = delete;
  ~PaddedCopy() { std::free(bytes_); }

  char* data() { return bytes_; }
  PaddedText text() const { return {bytes_, size_}; }

 private:
  char* bytes_;
  std::size_t size_;
};

}  // namespace camera
