// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::AdminLogin() {}  // not built yet

}  // namespace tb
