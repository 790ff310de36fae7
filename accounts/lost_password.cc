// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::LostPass() {}  // not built yet
void Guestbook::LostPassCheck() {}  // not built yet

}  // namespace tb
