// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::Add() {}  // not built yet
void Guestbook::Image1() {}  // not built yet

}  // namespace tb
