#include "kammel3/Relief.h"

#include "layer/Modul.h"
#include "layer/japiKern.h"
#include "program3d/BedEntry.h"
#include "scenarios/Scenarios.h"

namespace kammel3 {

bool Shaded = true;
bool HideEdges = false;

namespace {

// The plot's height function takes no context: it reads the bed being drawn through this,
// set for the length of one plot only.
const Bed* drawnBed = nullptr;

double DrawnHeightAt(double x, double y) {
  return model3d::HeightAt(*drawnBed, x, y);
}

}  // namespace

void EnterParameters(Bed& bed) {
  SetUpRelief(bed, program3d::EnterBed(scenarios::kReliefDefaults, Settings::maxLength,
                                       Settings::maxWidth));
  RedrawRelief(bed);
}

void SetUpRelief(Bed& bed, const model3d::RippleParams& params) {
  bed.params = params;
  PlaceRelief(params);
  model3d::InitRippleGrid(bed);
}

void PlaceRelief(const model3d::RippleParams& params) {
  layer::SetViewport(50, layer::GetCanvasWidth() - 50, 50, layer::GetCanvasHeight() - 50);
  layer::SetWorldWindow(0.0, params.layerLength, 0.0, params.layerLength);
}

void RedrawRelief(const Bed& bed) {
  const model3d::RippleParams& p = bed.params;
  if (p.layerLength < 1 || p.layerWidth < 1) {
    layer::ClearCanvas(layer::Black);
    return;
  }
  drawnBed = &bed;
  layer::PlotSurface({.sizeX = 400,
                      .sizeY = 400,
                      .sizeZ = 400,
                      .centreX = 400,
                      .centreY = 150,
                      .xmin = 0.0,
                      .xmax = static_cast<double>(p.layerLength),
                      .ymin = 0.0,
                      .ymax = static_cast<double>(p.layerWidth),
                      .zmin = 0.0,
                      .zmax = static_cast<double>(p.layerLength + p.layerHeight),
                      .alpha = 25.0,
                      .beta = -30.0,
                      .dx = 1.0,
                      .dy = 1.0,
                      .height = DrawnHeightAt,
                      .shaded = Shaded,
                      .hideEdges = HideEdges,
                      .lightX = -50.0,
                      .lightY = 1.0,
                      .lightZ = 10.0});
  drawnBed = nullptr;
}

void RunReliefBatch(Bed& bed) {
  model3d::RunBatch(bed);
  RedrawRelief(bed);
}

}  // namespace kammel3
