#pragma once
// Program-wide settings and the configuration file "tgx.cfg" that keeps them:
// signature "tgx" as a stream string, CHANPAR (4 fields), SYSPAR (forms folder
// as a stream string, keyboard type), little-endian, no padding.

#include <string>

#include "app/core/Chanpar.h"
#include "app/core/Folders.h"
#include "app/core/Syspar.h"

namespace tgx {
// The configuration file "tgx.cfg" in ConfigDir() (app/core/Folders.h).
std::string ConfigFilePath();
// The port map file "tgx.ports" beside the configuration file.
std::string PortMapFilePath();
}  // namespace tgx

// The singletons; null before CreateSettings and after DestroySettings.
CHANPAR* Chanpar();
SYSPAR* Syspar();

// Creates both records with their defaults (forms folder: the user's home
// folder) and loads the configuration file.
void CreateSettings();
// Saves the configuration file and frees both records.
void DestroySettings();

// Silent when the file is missing or carries another signature; a read error,
// or a configuration file that is no regular file, shows "Ошибка при чтении
// файла конфигурации" and keeps the values read so far. The reply time-out
// read is brought into its range (ClampReplyTimeout).
bool LoadConfiguration();
// A write error shows "Ошибка при записи файла конфигурации"; so does a
// configuration file that is no regular file, which is left as it is.
bool SaveConfiguration();
