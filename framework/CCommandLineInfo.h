// The standard command line: a document's file name opens it, no file name makes a new
// document. Flags ("/x" or "-x") are not acted on: ParseParam ignores them, and a program
// that has its own derives and overrides it.
#pragma once
#include <string>
#include <vector>

class CCommandLineInfo {
 public:
  enum ShellCommand { FileNew, FileOpen, FileNothing = -1 };

  virtual ~CCommandLineInfo() = default;

  // One argument of the command line, without the flag's '/' or '-'.
  virtual void ParseParam(const char* param, bool flag, bool last);

  // Splits a command line (without the program name) the way the C runtime splits it
  // into arguments: blanks separate, double quotes group, a backslash escapes a quote.
  static std::vector<std::string> SplitCommandLine(const std::string& line);

  ShellCommand m_nShellCommand = FileNew;
  std::string m_strFileName;
};
