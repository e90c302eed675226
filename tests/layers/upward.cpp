// Compiled as part of the document layer, which sits below the window layer: this
// include must not be found. Built only by the layer test.
#include "qimagecanvas.h"
#include "qmainwidget.h"
