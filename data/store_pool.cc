#include "data/store_pool.h"

namespace tb::data {

std::shared_ptr<Engine> StorePool::Acquire(std::string_view dsn) {
  if (MariaTargetOf(dsn)) return mariadb_.Acquire(dsn);
  return sqlite_.Acquire(dsn);
}

}  // namespace tb::data
