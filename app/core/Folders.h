#pragma once
// Where the program keeps its files on Linux.
//
// A portable install keeps everything beside the executable: its folder holds
// "tgx.cfg" already or the marker file "tgx.portable". Any other install keeps
// the configuration in $XDG_CONFIG_HOME/tgx/ (~/.config/tgx/) and its data in
// $XDG_DATA_HOME/tgx/ (~/.local/share/tgx/), so that a program installed in a
// system folder never writes there. TGX_CONFIG_DIR and TGX_DATA_DIR name the
// folders outright (tests and scripts use them).
//
// Without any home folder, the executable's folder stands in for it.
//
// Every folder is returned with its trailing '/', so that a file name can be
// appended as it is. Nothing here creates a folder.

#include <string>

namespace tgx {

// The configuration file is "tgx" with the extension registered for it.
inline constexpr char kConfigBaseName[] = "tgx";
inline constexpr char kConfigExtension[] = ".cfg";
// Beside the executable, makes an install portable.
inline constexpr char kPortableMarkerName[] = "tgx.portable";

// Full path of the running executable, taken once at start.
const std::string& ExePath();
// Replaces the executable's path; an empty path gives back the real one.
void SetExePathForTest(const std::string& path);

// The executable's folder holds "tgx.cfg" or "tgx.portable".
bool IsPortableInstall();
// The folder of the configuration file and the port map: TGX_CONFIG_DIR, else
// the executable's folder in a portable install, else $XDG_CONFIG_HOME/tgx/
// (a relative XDG_CONFIG_HOME is ignored), else ~/.config/tgx/.
std::string ConfigDir();
// The folder of the program's data (the session journal): TGX_DATA_DIR, else
// the configuration's folder in a portable install, else $XDG_DATA_HOME/tgx/
// (a relative XDG_DATA_HOME is ignored), else ~/.local/share/tgx/.
std::string DataDir();
// The user's home folder: $HOME when it is an absolute path, else the
// account's home; empty when neither is known.
std::string HomeFolder();

}  // namespace tgx
