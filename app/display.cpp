// The picture on the plot surface (the graph composition is being built).
#include "app/display.h"

namespace app {

void Display_graph(vistrel::PaintBox&) {}

}  // namespace app
