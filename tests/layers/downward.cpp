// Compiled as part of the window layer: the same two headers as upward.cpp must be
// found from here, so the upward probe fails only for the layer it sits in.
#include "qimagecanvas.h"
#include "qmainwidget.h"
