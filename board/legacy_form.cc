// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::Add_bak() {}  // not built yet

}  // namespace tb
