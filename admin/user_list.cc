// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::UserList() {}  // not built yet

}  // namespace tb
