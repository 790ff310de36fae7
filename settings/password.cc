// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::JieMian3() {}  // not built yet
void Guestbook::JieMian3Check() {}  // not built yet

}  // namespace tb
