// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::JieMian1() {}  // not built yet
void Guestbook::JieMian1Check() {}  // not built yet

}  // namespace tb
