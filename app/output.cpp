// The Output Format choice and the Output button (being built).
#include "app/output.h"

namespace app {

void Get_output_format(int) {}
void Output_currently_active_graphs(vistrel::PaintBox&) {}

}  // namespace app
