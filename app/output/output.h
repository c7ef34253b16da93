// The Output Format choice and the Output button.
#pragma once

namespace vistrel {
class PaintBox;
}

namespace app {

// The Output Format list's change: index 0 "WMF", 1 "Clipboard", 2 "Textfile".
void Get_output_format(int item_index);
// The Output button: sends the picture or the data to the chosen destination.
void Output_currently_active_graphs(vistrel::PaintBox& paint_box);

}  // namespace app
