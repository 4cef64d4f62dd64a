#include "program3d/BedEntry.h"

#include <string>
#include <string_view>

#include "layer/Modul.h"
#include "layer/japiKern.h"

namespace program3d {
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
  layer::ReadIntegerWithin(kLengthPrompt, length, p.layerLength, 1, maxLength);
  layer::ReadIntegerWithin(kWidthPrompt, width, p.layerWidth, 1, maxWidth);
  layer::ReadIntegerWithin(kHeightPrompt, height, p.layerHeight, 0, model3d::kMaxGrains);
  layer::ReadReal(kBPrompt, b, p.factorB);
  layer::ReadReal(kWindPrompt, wind, p.windStrength);
  layer::ReadIntegerWithin(kQPrompt, q, p.factorQ, 0, model3d::kMaxGrains);
  return p;
}

}  // namespace program3d
