// Unit Modul: the number readers, the world-to-screen mapping and the 3D surface plot.
#pragma once

#include "layer/Mapping.h"
#include "layer/NumberInput.h"
#include "layer/Surface3D.h"
