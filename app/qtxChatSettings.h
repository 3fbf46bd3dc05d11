#pragma once
// Where the chat window keeps its settings file, and the key it holds (the
// command-line program reads the window's file too). Beside the executable by
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

// The settings file of the program aExecutable: the user's configuration
// folder ($XDG_CONFIG_HOME, default ~/.config) and a real write test of the
// executable's folder. Without an argument, of the running program.
TChatSettingsFile DefaultChatSettingsFile(const std::string& aExecutable);
TChatSettingsFile DefaultChatSettingsFile();

// The API key a settings file holds ("" when it holds none or is missing),
// and storing one, the file kept readable by its owner only since the key is
// a secret (its folder is made when missing).
std::string ReadChatApiKey(const std::string& aSettingsFile);
void WriteChatApiKey(const std::string& aSettingsFile, const std::string& aKey);

// The window's two switches, stored beside the key as "STREAM" and
// "CONVERSATION" ("1" or "0"; anything else leaves the default, on).
struct TChatSwitches {
  bool Stream = true;
  bool Conversation = true;
};
TChatSwitches ReadChatSwitches(const std::string& aSettingsFile);
void WriteChatSwitches(const std::string& aSettingsFile, const TChatSwitches& aSwitches);

// Whether a file can be created in aFolder (tried, not guessed from the mode
// bits, which do not tell about read-only file systems or privileges).
bool FolderWritable(const std::string& aFolder);

}  // namespace qtx
