// The tone curve of the glyph table: from the ink fraction of a sub-block
// of a glyph to its value on the 0..15 scale. Shared by the table generator
// and the tests that check the shipped table against rendered glyphs.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace zindrel {

// The curve the shipped table is made with.
constexpr const char* kShippedTone = "0:0,0.2:4,0.4:9.5,1:15";

// The tone curve: from the ink fraction of a sub-block to its value on the
// 0..15 scale, which says what brightness of the picture the sub-block
// stands for. The art is drawn white on black, so a sub-block's ink is the
// brightness it shows; a curve above the straight line 15 x ink lets a glyph
// stand for a brighter cell than its ink alone would, so that bright cells
// are written with dense glyphs instead of full blocks. The curve is
// piecewise linear between knots (ink in thousandths, value in hundredths)
// and is evaluated in integers, so that every system rounds alike.
class ToneCurve {
 public:
  struct Knot {
    long ink;    // 0..1000
    long value;  // 0..1500
  };
  explicit ToneCurve(std::vector<Knot> knots) : knots_(std::move(knots)) {}

  // Reads "INK:VALUE,INK:VALUE,..." with INK in 0..1 and VALUE in 0..15,
  // at most three decimals each; the first knot must be 0:0, the last ink 1,
  // inks rising and values not falling. Returns false on anything else.
  static bool Parse(const std::string& text, std::vector<Knot>& out) {
    out.clear();
    size_t pos = 0;
    while (pos <= text.size()) {
      const size_t comma = std::min(text.find(',', pos), text.size());
      const std::string knot = text.substr(pos, comma - pos);
      const size_t colon = knot.find(':');
      long ink = 0, value = 0;
      if (colon == std::string::npos || !Decimal(knot.substr(0, colon), 1000, ink) ||
          !Decimal(knot.substr(colon + 1), 100, value) || ink > 1000 || value > 1500)
        return false;
      if (!out.empty() && (ink <= out.back().ink || value < out.back().value)) return false;
      out.push_back({ink, value});
      pos = comma + 1;
    }
    return out.size() >= 2 && out.front().ink == 0 && out.front().value == 0 && out.back().ink == 1000;
  }

  // round(value) for ink / whole, halves up.
  int Value(long ink, long whole) const {
    const long long permille = 1000LL * ink;  // ink per mille = permille / whole
    size_t i = 1;
    while (i + 1 < knots_.size() && permille > static_cast<long long>(knots_[i].ink) * whole) ++i;
    const Knot& a = knots_[i - 1];
    const Knot& b = knots_[i];
    // value x 100 = a.value + (b.value - a.value) (permille / whole - a.ink) / (b.ink - a.ink)
    const long long span = b.ink - a.ink;
    const long long numerator = a.value * span * whole + (b.value - a.value) * (permille - a.ink * whole);
    const long long denominator = span * whole * 100;
    return static_cast<int>((2 * numerator + denominator) / (2 * denominator));
  }

  // The ink fraction whose value is `value` (0..15), unrounded: the inverse
  // of Value where the curve rises. Values beyond the curve give its ends.
  double InkOf(double value) const {
    const double hundredths = value * 100;
    for (size_t i = 1; i < knots_.size(); ++i) {
      const Knot& a = knots_[i - 1];
      const Knot& b = knots_[i];
      if (hundredths <= double(b.value) && b.value > a.value)
        return std::max(0.0, double(a.ink) +
                                 double(b.ink - a.ink) * (hundredths - double(a.value)) / double(b.value - a.value)) /
               1000;
    }
    return double(knots_.back().ink) / 1000;
  }

 private:
  static bool Decimal(const std::string& text, long scale, long& out) {
    // digits, optionally a point and up to three more digits
    long whole = 0, fraction = 0, fractionScale = 1;
    size_t i = 0;
    if (text.empty()) return false;
    for (; i < text.size() && text[i] != '.'; ++i) {
      if (text[i] < '0' || text[i] > '9' || whole > 100) return false;
      whole = whole * 10 + (text[i] - '0');
    }
    if (i < text.size()) {
      if (i + 1 == text.size() || text.size() - i - 1 > 3) return false;
      for (++i; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        fraction = fraction * 10 + (text[i] - '0');
        fractionScale *= 10;
      }
    }
    if (scale % fractionScale != 0) return false;
    out = whole * scale + fraction * (scale / fractionScale);
    return true;
  }
  std::vector<Knot> knots_;
};

}  // namespace zindrel
