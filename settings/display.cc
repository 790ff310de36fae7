// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::JieMian2() {}  // not built yet
void Guestbook::JieMian2Check() {}  // not built yet

}  // namespace tb
