#include "link/drivers/SessionContext.h"

SessionContext& Session() {
  static SessionContext context;
  return context;
}
