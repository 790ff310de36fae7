// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::UserDelMe() {}  // not built yet
void Guestbook::UserDelAllInfo() {}  // not built yet

}  // namespace tb
