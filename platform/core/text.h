// Fixed-capacity texts as the program's variables hold them.
//
// A zero-terminated text of N bytes holds at most N-1 characters; a blank-padded text of N
// characters always holds exactly N, padded with blanks. Assignment cuts at the capacity and
// never fails: that is how every text variable behaves, so callers rely on it instead of
// checking lengths. Large buffers (hundreds of kilobytes) live on the heap, never on a stack.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace marlo {

// The text without its trailing blanks (and without trailing zero bytes).
inline std::string_view clip(std::string_view text) {
  const auto end = text.find_last_not_of(std::string_view(" \0", 2));
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

// Zero-terminated text of Bytes bytes: holds Bytes-1 characters and the terminating zero.
template <std::size_t Bytes>
class CString {
  static_assert(Bytes >= 1, "a zero-terminated text needs room for its terminator");

 public:
  static constexpr std::size_t kCapacity = Bytes - 1;

  CString() { bytes_.fill('\0'); }
  CString(std::string_view text) : CString() { assign(text); }  // NOLINT: texts convert freely

  CString& operator=(std::string_view text) {
    assign(text);
    return *this;
  }

  void assign(std::string_view text) {
    const std::size_t n = std::min(text.size(), kCapacity);
    std::memmove(bytes_.data(), text.data(), n);
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(n), bytes_.end(), '\0');
  }

  // Characters up to the first zero byte.
  [[nodiscard]] std::string_view view() const {
    return {bytes_.data(), ::strnlen(bytes_.data(), kCapacity)};
  }
  [[nodiscard]] std::string str() const { return std::string(view()); }
  [[nodiscard]] std::string_view clipped() const { return clip(view()); }
  [[nodiscard]] std::size_t size() const { return view().size(); }
  [[nodiscard]] bool empty() const { return bytes_[0] == '\0'; }
  [[nodiscard]] const char* c_str() const { return bytes_.data(); }
  // Raw access for a C interface that fills the buffer; capacity() bytes may be written.
  [[nodiscard]] char* data() { return bytes_.data(); }
  [[nodiscard]] static constexpr std::size_t capacity() { return Bytes; }
  operator std::string_view() const { return view(); }  // NOLINT

  friend bool operator==(const CString& a, std::string_view b) { return a.view() == b; }

 private:
  std::array<char, Bytes> bytes_;
};

// Blank-padded text of exactly Chars characters.
template <std::size_t Chars>
class BlankString {
 public:
  static constexpr std::size_t kCapacity = Chars;

  BlankString() { bytes_.fill(' '); }
  BlankString(std::string_view text) : BlankString() { assign(text); }  // NOLINT

  BlankString& operator=(std::string_view text) {
    assign(text);
    return *this;
  }

  void assign(std::string_view text) {
    const std::size_t n = std::min(text.size(), Chars);
    std::memmove(bytes_.data(), text.data(), n);
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(n), bytes_.end(), ' ');
  }

  [[nodiscard]] std::string_view view() const { return {bytes_.data(), Chars}; }
  [[nodiscard]] std::string_view clipped() const { return clip(view()); }
  [[nodiscard]] char* data() { return bytes_.data(); }
  operator std::string_view() const { return view(); }  // NOLINT

  friend bool operator==(const BlankString& a, std::string_view b) {
    return a.clipped() == clip(b);
  }

 private:
  std::array<char, Chars> bytes_;
};

// A large text buffer of a fixed capacity on the heap. It holds a zero-terminated text when
// `zeroTerminated`, otherwise it is blank-filled like a BlankString. A C interface may fill the
// whole buffer through data(); view() stops at the first zero byte or at the capacity.
class HeapText {
 public:
  enum class Fill { Zero, Blank };

  explicit HeapText(std::size_t capacity, Fill fill = Fill::Zero)
      : capacity_(capacity), fill_(fill), bytes_(std::make_unique<char[]>(capacity + 1)) {
    clear();
  }
  HeapText(const HeapText& other) : HeapText(other.capacity_, other.fill_) {
    std::memcpy(bytes_.get(), other.bytes_.get(), capacity_ + 1);
  }
  HeapText& operator=(const HeapText& other) {
    if (this != &other) assign(other.view());
    return *this;
  }
  HeapText& operator=(std::string_view text) {
    assign(text);
    return *this;
  }

  void clear() {
    std::memset(bytes_.get(), fill_ == Fill::Zero ? '\0' : ' ', capacity_);
    bytes_[capacity_] = '\0';
  }
  void assign(std::string_view text) {
    const std::size_t n = std::min(text.size(), capacity_);
    std::memmove(bytes_.get(), text.data(), n);
    std::memset(bytes_.get() + n, fill_ == Fill::Zero ? '\0' : ' ', capacity_ - n);
  }

  [[nodiscard]] std::string_view view() const {
    return {bytes_.get(), ::strnlen(bytes_.get(), capacity_)};
  }
  [[nodiscard]] std::string_view clipped() const { return clip(view()); }
  [[nodiscard]] std::string str() const { return std::string(view()); }
  [[nodiscard]] std::size_t capacity() const { return capacity_; }
  // Always zero-terminated one byte past the capacity, so a C reader never runs off the end.
  [[nodiscard]] char* data() { return bytes_.get(); }
  [[nodiscard]] const char* c_str() const { return bytes_.get(); }

 private:
  std::size_t capacity_;
  Fill fill_;
  std::unique_ptr<char[]> bytes_;
};

}  // namespace marlo
