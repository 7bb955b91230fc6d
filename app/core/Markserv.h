#pragma once
// File signatures: each kind of file the program writes begins with a short
// text, registered once at start and looked up by a number.

#include <cstdint>
#include <string>

#include "model/Xstream.h"

struct SIGNATURA {
  std::string signature;  // the text a file of this kind begins with
  std::string extension;  // with its leading dot
  int32_t id = 0;
};

// What a file claims to be, checked against a registered signature.
class MARKER {
 public:
  explicit MARKER(const SIGNATURA* entry) : entry_(entry) {}

  // The registered extension, empty when nothing is registered under the id.
  std::string Extension() const { return entry_ ? entry_->extension : std::string(); }
  // The signature read from a file goes here.
  std::string& Text() { return text_; }
  const std::string& Text() const { return text_; }
  bool Matches() const { return entry_ != nullptr && text_ == entry_->signature; }
  // Writes the registered signature as a stream string (empty without an entry).
  void WriteSignature(pstream& s) const;

 private:
  const SIGNATURA* entry_;
  std::string text_;
};

constexpr int32_t kConfigSignatureId = 12;
constexpr int kMaxSignatures = 20;

// False when the registry is full.
bool RegisterSignature(const std::string& signature, const std::string& extension, int32_t id);
MARKER FindSignature(int32_t id);
