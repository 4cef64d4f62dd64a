// Unit japiKern: window, keyboard queue, palette and primitives, dialog, number texts.
#pragma once

#include "layer/Dialog.h"
#include "layer/KeyQueue.h"
#include "layer/NumberText.h"
#include "layer/Palette.h"
#include "layer/Window.h"
