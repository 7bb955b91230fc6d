#include "link/session/Session.h"

SessionContext& Session() {
  static SessionContext context;
  return context;
}
