#include "kammel/Profile.h"

#include <string>
#include <string_view>

#include "layer/Modul.h"
#include "layer/japiKern.h"
#include "model2d/ProfileModel.h"
#include "scenarios/Scenarios.h"

namespace kammel {
namespace {

// Latin-1, as the toolkit takes it.
constexpr std::string_view kWidthPrompt =
    " Programm zur Simulation von Sandkammeln nach Nishimori - Schichtbreite : ";
constexpr std::string_view kThicknessPrompt = " Schichtdicke (<Schichtbreite) : ";
constexpr std::string_view kBPrompt = " Faktor \"b\" : ";
constexpr std::string_view kWindPrompt = " Windstaerke (0..?) : ";
constexpr std::string_view kQPrompt = " Faktor \"q\" : ";

}  // namespace

void EnterProfileParameters(Profile& profile) {
  model2d::ProfileParams p = scenarios::kProfileDefaults;
  std::string width = layer::FormatReal(p.layerWidth, 4.0);
  std::string thickness = layer::FormatReal(p.layerThickness, 3.0);
  std::string b = layer::FormatReal(p.factorB, 3.2);
  std::string wind = layer::FormatReal(p.windStrength, 3.2);
  std::string q = layer::FormatReal(p.factorQ, 3.0);
  // A width below 1 leaves the mapping without extent; the bounds on D and q keep every sum
  // of the widest profile in 32 bits.
  constexpr std::int32_t grains = model2d::kMaxProfileGrains;
  layer::ReadIntegerWithin(kWidthPrompt, width, p.layerWidth, 1, model2d::kMaxProfileWidth);
  layer::ReadIntegerWithin(kThicknessPrompt, thickness, p.layerThickness, 0, grains);
  layer::ReadReal(kBPrompt, b, p.factorB);
  layer::ReadReal(kWindPrompt, wind, p.windStrength);
  layer::ReadIntegerWithin(kQPrompt, q, p.factorQ, 0, grains);
  SetUpProfile(profile, p);
  RedrawProfile(profile);
}

void SetUpProfile(Profile& profile, const model2d::ProfileParams& params) {
  profile.params = params;
  PlaceProfile(params);
  model2d::InitRippleProfile(profile);
}

void PlaceProfile(const model2d::ProfileParams& params) {
  layer::SetViewport(50, layer::GetCanvasWidth() - 50, 50, layer::GetCanvasHeight() - 150);
  layer::SetWorldWindow(0.0, params.layerWidth, 0.0, params.layerWidth);
}

void RedrawProfile(const Profile& profile) {
  layer::ClearCanvas(layer::Black);
  const std::int32_t n = model2d::ProfileWidth(profile);
  // At least one segment, from cell 0 to cell 1, as before the first entry.
  for (std::int32_t i = 0; i < n || i == 0; ++i) {
    layer::DrawLine(layer::WorldToScreenX(i),
                    layer::WorldToScreenY(model2d::ProfileHeight(profile, i)),
                    layer::WorldToScreenX(i + 1),
                    layer::WorldToScreenY(model2d::ProfileHeight(profile, i + 1)), layer::LightRed);
  }
}

}  // namespace kammel
