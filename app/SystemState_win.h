// The system's answer to "may a timed change disturb the user now": its notification state
// (full-screen application, Direct3D game, presentation) and battery saver.
#pragma once

#include "engine/ChangeGate.h"

TSystemState QuerySystemState();
