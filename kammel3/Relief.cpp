#include "kammel3/Relief.h"

#include "layer/Modul.h"
#include "layer/japiKern.h"
#include "program3d/BedEntry.h"
#include "scenarios/Scenarios.h"

namespace kammel3 {

bool Shaded = true;
bool HideEdges = false;

void EnterParameters() {
  SetUpRelief(program3d::EnterBed(scenarios::kReliefDefaults, Bed::maxLength, Bed::maxWidth));
  RedrawRelief();
}

void SetUpRelief(const model3d::RippleParams& params) {
  model3d::rippleParams<Bed> = params;
  layer::SetViewport(50, layer::GetCanvasWidth() - 50, 50, layer::GetCanvasHeight() - 50);
  layer::SetWorldWindow(0.0, params.layerLength, 0.0, params.layerLength);
  model3d::InitRippleGrid<Bed>();
}

void RedrawRelief() {
  const model3d::RippleParams& p = model3d::rippleParams<Bed>;
  if (p.layerLength < 1 || p.layerWidth < 1) {
    layer::ClearCanvas(layer::Black);
    return;
  }
  layer::PlotSurface(400, 400, 400, 400, 150,                                  //
                     0.0, p.layerLength, 0.0, p.layerWidth,                    //
                     0.0, static_cast<double>(p.layerLength + p.layerHeight),  //
                     25.0, -30.0, 1.0, 1.0, model3d::HeightAt<Bed>,            //
                     Shaded, HideEdges, -50.0, 1.0, 10.0);
}

void RunReliefBatch() {
  model3d::RunBatch<Bed>();
  RedrawRelief();
}

}  // namespace kammel3
