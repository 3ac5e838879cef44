// The look of windows and controls as the runtime describes it: colour
// values, fonts, layout units, alignment and border values, and the "&"
// accelerator convention of control texts. Toolkit-free; each backend turns
// these values into its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rt {

// A colour value: red in the lowest byte, then green, then blue; the byte
// above them carries no colour. A few values stand for the desktop's own
// colours instead (system colours).
using Colour = std::uint32_t;

constexpr Colour rgb(unsigned r, unsigned g, unsigned b) {
  return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16);
}

inline constexpr Colour kWindowTextColour = 33554432;  // the desktop's window text
inline constexpr Colour kButtonFaceColour = 67108864;  // the desktop's button face

enum class SystemColour { WindowText, ButtonFace };

// The system colour a value stands for, if any.
std::optional<SystemColour> system_colour(Colour c);

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};
// The red, green and blue of a plain colour value (its three low bytes).
constexpr Rgb rgb_of(Colour c) {
  return Rgb{static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
             static_cast<std::uint8_t>((c >> 16) & 0xFF)};
}

inline constexpr int kCharsetGb2312 = 134;
inline constexpr int kWeightNormal = 400;
inline constexpr int kWeightBold = 700;

struct Font {
  std::string face;  // GBK, e.g. "宋体"
  int size = 10;     // points
  int weight = kWeightNormal;
  bool italic = false;
  bool underline = false;
  int charset = kCharsetGb2312;
  int pitch = 2;   // 1 fixed, 2 variable
  int family = 2;  // 1 roman, 2 swiss, 3 modern, 4 script, 5 decorative
  bool operator==(const Font&) const = default;
};

// Text alignment values of a static text.
inline constexpr int kAlignLeft = 0;
inline constexpr int kAlignCenter = 1;
inline constexpr int kAlignRight = 2;

// Border style values.
inline constexpr int kBorderPlain = 0;
inline constexpr int kBorderShadowBox = 1;
inline constexpr int kBorderBox = 2;
inline constexpr int kBorderLowered = 5;
inline constexpr int kBorderRaised = 6;

// Layout units: positions and sizes of windows and controls. Four units
// make one pixel in both directions; fonts are sized for 96 pixels per inch.
inline constexpr int kUnitsPerPixel = 4;
constexpr int units_to_pixels(int units) {
  return units >= 0 ? (units + kUnitsPerPixel / 2) / kUnitsPerPixel
                    : -((-units + kUnitsPerPixel / 2) / kUnitsPerPixel);
}
constexpr int font_pixels(int points) { return (points * 96 + 36) / 72; }

// A window's width and height are its outer size; its client area is that
// less the frame on each side and the title bar.
inline constexpr int kFramePixels = 4;
inline constexpr int kCaptionPixels = 23;

// Control texts: "&" before a character makes it the accelerator and is not
// shown; "&&" shows one "&". A lone "&" at the end is dropped.
std::string display_text(const std::string& text);
// The accelerator character of a text (upper-cased ASCII), or 0.
char accelerator(const std::string& text);

}  // namespace rt
