#include "rt/window/look.h"

namespace rt {

std::optional<SystemColour> system_colour(Colour c) {
  switch (c) {
    case kWindowTextColour: return SystemColour::WindowText;
    case kButtonFaceColour: return SystemColour::ButtonFace;
    default: return std::nullopt;
  }
}

std::string display_text(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '&') {
      out += '&';
      ++i;
    }
    // A single "&" marks the next character and is not shown.
  }
  return out;
}

char accelerator(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    char c = text[i + 1];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return c;
  }
  return 0;
}

}  // namespace rt
