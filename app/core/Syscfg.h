#pragma once
// Program-wide settings and the configuration file "tgx.cfg" that keeps them:
// signature "tgx" as a stream string, CHANPAR (4 fields), SYSPAR (forms folder
// as a stream string, keyboard type), little-endian, no padding.

#include <string>

#include "app/core/Chanpar.h"
#include "app/core/Syspar.h"

namespace tgx {
// Full path of the running executable (native), taken once at start.
const std::string& ExePath();
void SetExePathForTest(const std::string& path);

// The configuration file: tgx.cfg in the executable's folder when that folder
// is writable, else $XDG_CONFIG_HOME/tgx/tgx.cfg (default ~/.config/tgx/).
// TGX_CONFIG_DIR, when set, names the folder outright (tests, scripts).
std::string ConfigFilePath();
// The port map file "tgx.ports" beside the configuration file.
std::string PortMapFilePath();
}  // namespace tgx

// The singletons; null before CreateSettings and after DestroySettings.
CHANPAR* Chanpar();
SYSPAR* Syspar();

// Creates both records with their defaults (forms folder: the executable's
// folder) and loads the configuration file.
void CreateSettings();
// Saves the configuration file and frees both records.
void DestroySettings();

// Silent when the file is missing or carries another signature; a read error
// shows "Ошибка при чтении файла конфигурации" and keeps the values read so far.
bool LoadConfiguration();
// A write error shows "Ошибка при записи файла конфигурации".
bool SaveConfiguration();
