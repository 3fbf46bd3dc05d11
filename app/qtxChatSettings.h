#pragma once
// Where the chat window keeps its settings file. Beside the executable by
// default ("<executable>.ini"); when the executable's folder cannot be written
// (an installed program), in the user's configuration folder instead, so that
// a typed key is never lost.

#include <string>

namespace qtx {

struct TChatSettingsFile {
  std::string ReadFrom;  // the file the key is read from at start-up
  std::string WriteTo;   // the file the key is written to at close
};

// The settings file of aExecutable. It is written beside the executable when
// that folder is writable, else to "<aConfigHome>/qtx/<executable name>.ini".
// It is read from the file that will be written when that one exists, else
// from the other one when that exists, so a key found either way is kept.
TChatSettingsFile ChatSettingsFile(const std::string& aExecutable, const std::string& aConfigHome,
                                   bool aExecutableFolderWritable);

// The settings file of the running program: its executable, the user's
// configuration folder ($XDG_CONFIG_HOME, default ~/.config) and a real write
// test of the executable's folder.
TChatSettingsFile DefaultChatSettingsFile();

// Whether a file can be created in aFolder (tried, not guessed from the mode
// bits, which do not tell about read-only file systems or privileges).
bool FolderWritable(const std::string& aFolder);

}  // namespace qtx
