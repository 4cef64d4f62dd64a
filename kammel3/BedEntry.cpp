#include "kammel3/BedEntry.h"

#include "layer/Modul.h"
#include "layer/japiKern.h"

namespace kammel3 {
namespace {

// Latin-1, as the toolkit takes it.
constexpr std::string_view kLengthPrompt =
    " Programm zur Simulation von Sandkammeln nach Nishimori - Schichtl\xe4nge : ";
constexpr std::string_view kWidthPrompt = " Schichtbreite : ";
constexpr std::string_view kHeightPrompt = " Schichthoehe : ";
constexpr std::string_view kBPrompt = " Faktor \"b\" : ";
constexpr std::string_view kWindPrompt = " Windstaerke (0..) : ";
constexpr std::string_view kQPrompt = " Faktor \"q\" : ";

}  // namespace

void ReadIntegerWithin(std::string_view prompt, std::string& text, std::int32_t& value,
                       std::int32_t min, std::int32_t max) {
  do {
    layer::ReadInteger(prompt, text, value);
  } while (value < min || value > max);
}

model3d::RippleParams EnterBed(const model3d::RippleParams& defaults, std::int32_t maxLength,
                               std::int32_t maxWidth) {
  model3d::RippleParams p = defaults;
  std::string length = layer::FormatReal(p.layerLength, 4.0);
  std::string width = layer::FormatReal(p.layerWidth, 4.0);
  std::string height = layer::FormatReal(p.layerHeight, 3.0);
  std::string b = layer::FormatReal(p.factorB, 3.2);
  std::string wind = layer::FormatReal(p.windStrength, 3.2);
  std::string q = layer::FormatReal(p.factorQ, 3.0);
  // Sizes below 1 would leave the mapping without extent and the model without a bed.
  ReadIntegerWithin(kLengthPrompt, length, p.layerLength, 1, maxLength);
  ReadIntegerWithin(kWidthPrompt, width, p.layerWidth, 1, maxWidth);
  ReadIntegerWithin(kHeightPrompt, height, p.layerHeight, 0, kMaxGrains);
  layer::ReadReal(kBPrompt, b, p.factorB);
  layer::ReadReal(kWindPrompt, wind, p.windStrength);
  ReadIntegerWithin(kQPrompt, q, p.factorQ, 0, kMaxGrains);
  return p;
}

}  // namespace kammel3
