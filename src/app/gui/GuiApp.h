#pragma once

// The Qt front end implements RunGui.
#include "app/FrontEnd.h"
