#include "objects/basic/cabinet.h"

#include <vector>

int32_t MoveSelectedChildren(TVorqControl& from, TVorqControl& to,
                             const std::function<bool(const std::string&)>& selected) {
    if (&from == &to) return 0;
    // A copy: every move re-sorts both lists.
    const std::vector<TVorqControl*> children = from.Children();
    int32_t moved = 0;
    for (size_t i = children.size(); i-- > 0;) {
        TVorqControl* c = children[i];
        if (c == &to || c->Contains(&to) || !selected(c->GetName())) continue;
        c->SetParent(&to);
        ++moved;
    }
    return moved;
}
