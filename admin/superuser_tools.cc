// Placeholder until the operations are built.
#include "component/guestbook.h"

namespace tb {

void Guestbook::AdminDelUserInfo() {}  // not built yet
void Guestbook::AdminDelUser() {}  // not built yet
void Guestbook::GetAllMail() {}  // not built yet
void Guestbook::GetPassWord() {}  // not built yet
void Guestbook::DataAdmin() {}  // not built yet

}  // namespace tb
