// zoneroll: the assistant's fetch run from the command line (POSIX).
//
// Reads the settings of section "Zoneroll.exe" of Zoneroll.ini in the working
// directory (options override them for this run), runs the fetch run and
// prints its log lines in UTF-8 as they come. A failure prints the error text
// the window's error box would show to standard error and exits with 1; the
// worlds done before it keep their files and times. --save stores the three
// texts in Zoneroll.ini afterwards, as closing the window would.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <climits>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include "assistant/assistant_settings.h"
#include "assistant/fetch_run.h"
#include "net/http_client.h"
#include "shared/clock.h"
#include "shared/codepage.h"

namespace tol {
namespace {

// The folder of this executable with a trailing "/", in code page 932; empty
// (the working directory) when the system doesn't tell.
std::string ProgramFolder() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return {};
  std::string path(buffer, static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return Utf8ToCp932(path.substr(0, slash + 1));
}

class TerminalLog : public FetchLog {
 public:
  // A terminal keeps what it has printed; each run starts on a new line anyway.
  void Clear() override {}
  void Append(std::string_view line) override { std::cout << Cp932ToUtf8(line) << std::endl; }
};

void PrintError(std::string_view cp932_message) {
  std::cerr << Cp932ToUtf8(ErrorBoxText(cp932_message)) << std::endl;
}

int Main(int argc, char** argv) {
  CLI::App app{std::string(kApplicationTitle) +
               ": fetches the map lists of the worlds and writes the per-world map-name "
               "files. Settings come from section [Zoneroll.exe] of Zoneroll.ini in the "
               "working directory; the options override them for this run."};
  std::optional<std::string> out, name, tolmap, host;
  bool save = false;
  app.add_option("--out", out, "output folder text, joined to the world name as it stands");
  app.add_option("--name", name, "file name text behind the world name (default \".ini\")");
  app.add_option("--tolmap", tolmap, "folder text of TolMap.ini (default: working directory)");
  app.add_option("--host", host, "map-list service host[:port] (default: Host of the ini)");
  app.add_flag("--save", save, "store the output folder, file name and TolMap folder texts");
  CLI11_PARSE(app, argc, argv);

  const FilePath settings_path = FilePath::FromText(kSettingsFileName);
  AssistantSettings settings = LoadAssistantSettings(settings_path, ProgramFolder());
  if (out) settings.path = Utf8ToCp932(*out);
  if (name) settings.name = Utf8ToCp932(*name);
  if (tolmap) settings.tolmap = Utf8ToCp932(*tolmap);
  if (host) settings.host = Utf8ToCp932(*host);

  int status = 0;
  try {
    std::unique_ptr<HttpClient> http = CreateHttpClient(SystemClock());
    http->SetProfile(AssistantRequestProfile());
    TerminalLog log;
    RunFetch(RunInputsFrom(settings, settings_path), *http, SystemClock(), log);
  } catch (const std::exception& e) {
    PrintError(e.what());
    status = 1;
  }
  if (save) {
    try {
      SaveAssistantSettings(settings_path, settings);
    } catch (const std::exception& e) {
      PrintError(e.what());
      status = 1;
    }
  }
  return status;
}

}  // namespace
}  // namespace tol

int main(int argc, char** argv) { return tol::Main(argc, argv); }
