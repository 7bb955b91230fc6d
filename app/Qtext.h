#pragma once
// Texts at the edge of the core: the core keeps Windows-1251 bytes in
// std::string and native (UTF-8) file names; the windows show QStrings.

#include <QFile>
#include <QString>
#include <string>

#include "model/Cp1251.h"

namespace tgx {

inline QString ToQt(const std::string& cp1251) {
  // Level and volume texts are nearly always plain digits; those need no
  // code page round trip, which matters for grids of thousands of rows.
  for (unsigned char c : cp1251)
    if (c >= 0x80) return QString::fromStdString(ToUtf8(cp1251));
  return QString::fromLatin1(cp1251.data(), static_cast<qsizetype>(cp1251.size()));
}

inline std::string FromQt(const QString& text) { return FromUtf8(text.toStdString()); }

inline QString PathToQt(const std::string& native) { return QFile::decodeName(QByteArray::fromStdString(native)); }

inline std::string PathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace tgx
