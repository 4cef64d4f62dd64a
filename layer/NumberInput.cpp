#include "layer/NumberInput.h"

#include <algorithm>

#include "layer/Dialog.h"
#include "layer/NumberText.h"

namespace layer {

void ReadInteger(std::string_view prompt, std::string& text, std::int32_t& value) {
  std::int32_t converted = 0;
  std::int32_t code = 0;
  do {
    InputKind = 'i';
    ReadText(prompt, text);
    TextToInteger(text, converted, code);
  } while (code != 0);
  value = converted;
}

void ReadReal(std::string_view prompt, std::string& text, double& value) {
  double converted = 0.0;
  std::int32_t code = 0;
  do {
    InputKind = 'r';
    ReadText(prompt, text);
    // A decimal comma is accepted, but the field keeps what was typed.
    std::string withPoints = text;
    std::replace(withPoints.begin(), withPoints.end(), ',', '.');
    TextToReal(withPoints, converted, code);
  } while (code != 0);
  value = converted;
}

void ReadIntegerWithin(std::string_view prompt, std::string& text, std::int32_t& value,
                       std::int32_t min, std::int32_t max) {
  do {
    ReadInteger(prompt, text, value);
  } while (value < min || value > max);
}

}  // namespace layer
