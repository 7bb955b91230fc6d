#include "app/Appinfo.h"

#include <utility>

#include <QtGlobal>

#include "Version.h"

// Outside any namespace: the resource registration function is a global one.
static int InitTgxResources() {
  Q_INIT_RESOURCE(tgx);
  return 0;
}
static const int kResourcesRegistered = InitTgxResources();

void tgx::InitResources() { InitTgxResources(); }

TAppInfo::TAppInfo(std::string text1, std::string text2)
    : text1_(std::move(text1)),
      text2_(std::move(text2)),
      major_(static_cast<int32_t>(tgx::kVersionMajor)),
      minor_(static_cast<int32_t>(tgx::kVersionMinor)),
      release_(static_cast<int32_t>(tgx::kVersionRelease)),
      build_(static_cast<int32_t>(tgx::kVersionBuild)) {}

std::string TAppInfo::VersionText() const {
  return std::to_string(major_) + "." + std::to_string(minor_) + "." + std::to_string(release_) + "." +
         std::to_string(build_);
}
