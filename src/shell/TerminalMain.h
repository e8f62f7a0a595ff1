#pragma once
// The installer's run without a window (--unattended): the licence gate, the application object
// that loads no windowing plugin, the delegate's stages around the unattended installation, and
// the last line on standard output.

namespace shell {

struct CommandLine;

// Returns the process's exit status (shell::ExitStatus).
int runWithoutWindow(int &argc, char **argv, const CommandLine &commandLine);

}  // namespace shell
