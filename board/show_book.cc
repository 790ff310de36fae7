// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::ShowBook() {}  // not built yet

}  // namespace tb
