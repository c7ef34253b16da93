// The picture on the plot surface: which graphs are shown, where, and how each is drawn.
#pragma once

namespace vistrel {
class PaintBox;
}

namespace app {

// The paint handler of the plot surface: draws the graphs the operator chose.
void Display_graph(vistrel::PaintBox& paint_box);

}  // namespace app
