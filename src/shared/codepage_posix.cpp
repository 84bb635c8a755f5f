// Code page 932 tables through iconv: glibc's "CP932" is the Windows table
// (0x8160 is U+FF5E, 0x815F U+FF3C, NEC and IBM rows included), unlike its
// "SHIFT_JIS".

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <string>

#include "shared/codepage_platform.h"
#include "shared/errors.h"

namespace tol::codepage_platform {
namespace {

// std::u16string holds native-endian units; name the matching iconv form,
// which also keeps iconv from writing or expecting a byte-order mark.
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

constexpr std::size_t kFailed = static_cast<std::size_t>(-1);

// One iconv conversion descriptor.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw EOtherError(std::string("iconv can't convert from ") + from + " to " + to);
    }
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts from `*in` to `*out` like iconv(3), from the initial state.
  std::size_t Convert(char** in, std::size_t* in_left, char** out, std::size_t* out_left) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    return iconv(cd_, in, in_left, out, out_left);
  }

 private:
  iconv_t cd_;
};

// An iconv_t carries conversion state and must not be shared between
// threads; one per thread each way avoids both a lock and an iconv_open per
// call.
Iconv& Decoder() {
  thread_local Iconv decoder(kUtf16, "CP932");
  return decoder;
}

// From glibc's own wide form, not UTF-16: a chain of two conversions redoes
// its first one up to the failing character at each character code page 932
// lacks, which makes a text of many such characters quadratic.
static_assert(sizeof(wchar_t) == 4, "WCHAR_T is UCS-4");
Iconv& Encoder() {
  thread_local Iconv encoder("CP932", "WCHAR_T");
  return encoder;
}

}  // namespace

bool DecodeRun(std::string_view cp932, std::u16string& out) {
  const std::size_t old_size = out.size();
  out.resize(old_size + cp932.size());  // never more than one unit per byte
  char* in = const_cast<char*>(cp932.data());
  std::size_t in_left = cp932.size();
  char* dst = reinterpret_cast<char*>(out.data() + old_size);
  std::size_t dst_left = cp932.size() * sizeof(char16_t);
  if (Decoder().Convert(&in, &in_left, &dst, &dst_left) == kFailed || in_left != 0) {
    out.resize(old_size);
    return false;
  }
  out.resize(old_size + cp932.size() - dst_left / sizeof(char16_t));
  return true;
}

void EncodeRun(std::u16string_view utf16, std::string& out) {
  // Widened to wchar_t first, see Encoder(). Runs hold no surrogates, so
  // each unit is one character.
  std::wstring wide(utf16.begin(), utf16.end());
  const std::size_t old_size = out.size();
  out.resize(old_size + utf16.size() * 2);  // never more than two bytes per character
  char* in = reinterpret_cast<char*>(wide.data());
  std::size_t in_left = wide.size() * sizeof(wchar_t);
  char* dst = out.data() + old_size;
  std::size_t dst_left = utf16.size() * 2;
  Iconv& encoder = Encoder();
  while (in_left > 0 && encoder.Convert(&in, &in_left, &dst, &dst_left) == kFailed) {
    // EILSEQ: the character at `in` has no code page 932 form. Step over it
    // so the loop always advances, whatever iconv reported.
    if (in_left < sizeof(wchar_t) || dst_left == 0) break;
    *dst++ = '?';
    --dst_left;
    in += sizeof(wchar_t);
    in_left -= sizeof(wchar_t);
  }
  out.resize(dst - out.data());
}

}  // namespace tol::codepage_platform
