#include "app/core/Markserv.h"

#include <array>

namespace {
struct Registry {
  std::array<SIGNATURA, kMaxSignatures> entries;
  int count = 0;
};

// A function-local registry, so that registration from any translation unit's
// static initialisation finds it constructed.
Registry& TheRegistry() {
  static Registry r;
  return r;
}
}  // namespace

void MARKER::WriteSignature(pstream& s) const { s << (entry_ ? entry_->signature : std::string()); }

bool RegisterSignature(const std::string& signature, const std::string& extension, int32_t id) {
  Registry& r = TheRegistry();
  if (r.count >= kMaxSignatures) return false;
  r.entries[static_cast<size_t>(r.count++)] = SIGNATURA{signature, extension, id};
  return true;
}

MARKER FindSignature(int32_t id) {
  const Registry& r = TheRegistry();
  for (int i = 0; i < r.count; ++i)
    if (r.entries[static_cast<size_t>(i)].id == id) return MARKER(&r.entries[static_cast<size_t>(i)]);
  return MARKER(nullptr);
}
