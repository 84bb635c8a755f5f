#include "shared/format.h"

#include <optional>

#include "shared/errors.h"
#include "shared/text.h"

namespace tol {

namespace {

// Reads one template from left to right. Placeholder() returns false when
// the template ends inside a placeholder; everything before it stays.
class Formatter {
 public:
  Formatter(std::string_view tmpl, std::span<const FormatArg> args) : tmpl_(tmpl), args_(args) {}

  std::string Run() {
    std::string out;
    while (pos_ < tmpl_.size()) {
      char c = tmpl_[pos_++];
      if (c != '%') {
        out += c;
      } else if (!Placeholder(out)) {
        break;
      }
    }
    return out;
  }

 private:
  [[noreturn]] void Fail() const {
    throw EConvertError("Format '" + std::string(CutToBytes(tmpl_, 64)) +
                        "' invalid or incompatible with argument");
  }

  bool AtEnd() const { return pos_ >= tmpl_.size(); }

  const FormatArg& TakeArg() {
    if (next_ >= args_.size()) Fail();
    return args_[next_++];
  }

  int32_t TakeInt() {
    const auto* value = std::get_if<int32_t>(&TakeArg());
    if (value == nullptr) Fail();
    return *value;
  }

  // A decimal number or "*" at the current position; nothing when neither
  // stands there. Digits stop counting past kMaxFormatPiece, so no length
  // of number can overflow.
  std::optional<int64_t> ReadNumber() {
    if (AtEnd()) return std::nullopt;
    if (tmpl_[pos_] == '*') {
      ++pos_;
      return TakeInt();
    }
    if (tmpl_[pos_] < '0' || tmpl_[pos_] > '9') return std::nullopt;
    int64_t value = 0;
    while (!AtEnd() && tmpl_[pos_] >= '0' && tmpl_[pos_] <= '9') {
      value = value * 10 + (tmpl_[pos_++] - '0');
      if (value > kMaxFormatPiece) Fail();
    }
    return value;
  }

  bool Placeholder(std::string& out) {
    if (AtEnd()) return false;
    if (tmpl_[pos_] == '%') {
      ++pos_;
      out += '%';
      return true;
    }
    bool left = false;
    std::optional<int64_t> width = ReadNumber();
    if (AtEnd()) return false;
    if (width && tmpl_[pos_] == ':') {
      if (*width < 0) Fail();  // TakeArg() checks the upper end
      next_ = static_cast<std::size_t>(*width);
      width.reset();
      if (++pos_ >= tmpl_.size()) return false;
    }
    if (!width) {
      if (tmpl_[pos_] == '-') {
        left = true;
        if (++pos_ >= tmpl_.size()) return false;
      }
      width = ReadNumber();
      if (AtEnd()) return false;
    }
    std::optional<int64_t> precision;
    if (tmpl_[pos_] == '.') {
      if (++pos_ >= tmpl_.size()) return false;
      precision = ReadNumber().value_or(0);
      if (AtEnd()) return false;
    }
    char type = tmpl_[pos_++];

    // Values from "*" may be anything an integer argument holds.
    if (width && *width < 0) {
      left = true;
      width = -*width;  // int64_t: INT32_MIN negates safely
    }
    if (precision && *precision < 0) precision.reset();
    if (width.value_or(0) > kMaxFormatPiece || precision.value_or(0) > kMaxFormatPiece) Fail();

    std::string piece = Convert(type, TakeArg(), precision);
    auto pad = static_cast<std::size_t>(width.value_or(0));
    if (piece.size() < pad) {
      piece.insert(left ? piece.size() : 0, pad - piece.size(), ' ');
    }
    out += piece;
    return true;
  }

  std::string Convert(char type, const FormatArg& arg, std::optional<int64_t> precision) const {
    if (type == 's' || type == 'S') {
      const auto* text = std::get_if<std::string>(&arg);
      if (text == nullptr) Fail();
      if (!precision) return *text;
      return std::string(CutToBytes(*text, static_cast<std::size_t>(*precision)));
    }
    bool hex = type == 'x' || type == 'X';
    bool is_signed = type == 'd' || type == 'D';
    if (!hex && !is_signed && type != 'u' && type != 'U') Fail();
    const auto* value = std::get_if<int32_t>(&arg);
    if (value == nullptr) Fail();

    auto magnitude = static_cast<uint32_t>(*value);
    bool negative = is_signed && *value < 0;
    if (negative) magnitude = 0u - magnitude;
    std::string digits;
    unsigned base = hex ? 16 : 10;
    do {
      digits.insert(digits.begin(), "0123456789ABCDEF"[magnitude % base]);
      magnitude /= base;
    } while (magnitude != 0);
    auto min_digits = static_cast<std::size_t>(precision.value_or(0));
    if (digits.size() < min_digits) digits.insert(0, min_digits - digits.size(), '0');
    if (negative) digits.insert(digits.begin(), '-');
    return digits;
  }

  std::string_view tmpl_;
  std::span<const FormatArg> args_;
  std::size_t pos_ = 0;
  std::size_t next_ = 0;  // the argument an unindexed placeholder or "*" takes
};

}  // namespace

std::string FormatTemplate(std::string_view tmpl, std::span<const FormatArg> args) {
  return Formatter(tmpl, args).Run();
}

}  // namespace tol
