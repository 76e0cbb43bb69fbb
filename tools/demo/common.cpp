#include "tools/demo/common.h"

#include "files/vocab.h"

#include <string>

void DemoBoxMasks(TPageWriter& w) {
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_COLOR, PR_ALPHA, PR_BORDERWIDTH,
                   PR_BORDERCOLOR, PR_PRIORITY})
        w.SetMask(opBoxNew, id);
}

void DemoBox(TPageWriter& w, const char* name, const char* parent, int l, int t, int wd, int h, uint32_t colour,
             int alpha, int border, int32_t border_colour, int priority) {
    w.Component(opBoxNew, {{PR_NAME, std::string("\"") + name + "\""},
                           {PR_PARENT, parent},
                           {PR_LEFT, std::to_string(l)},
                           {PR_TOP, std::to_string(t)},
                           {PR_WIDTH, std::to_string(wd)},
                           {PR_HEIGHT, std::to_string(h)},
                           {PR_COLOR, std::to_string(colour)},
                           {PR_ALPHA, std::to_string(alpha)},
                           {PR_BORDERWIDTH, std::to_string(border)},
                           {PR_BORDERCOLOR, std::to_string(border_colour)},
                           {PR_PRIORITY, std::to_string(priority)}});
}
