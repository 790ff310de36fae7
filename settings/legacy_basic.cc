// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::JieMian1_bak() {}  // not built yet

}  // namespace tb
