// Feeds arbitrary text to the command-line tokenizer, the keyword table and the check of
// combinations (never to the conversions, which would touch files), and to the joining of
// program arguments.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "fuzz/silent_ui.h"

using tarnvik::fuzzing::SilentUi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::app;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  SilentUi ui;
  CommandLineOptions options;
  int result = TokenizeCommandLine(text, options, ui);
  if (result == 0) result = ValidateCommandLine(options, ui);
  // Exactly one message on refusal, none on acceptance; the cuts always hold.
  if ((result == 0) != (ui.shown == 0) || ui.shown > 1) __builtin_trap();
  if (options.keyword.size() > kKeywordLength || options.value.size() > kValueLength ||
      options.fileName.size() > kValueLength || options.pilotName.size() > kPersonTextLength ||
      options.gliderId.size() > kPersonTextLength) {
    __builtin_trap();
  }
  // The same bytes split at NULs as program arguments.
  std::vector<std::string> arguments{"tarnvik"};
  std::string current;
  for (char c : text) {
    if (c == '\0') {
      arguments.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  arguments.push_back(current);
  std::vector<const char*> argv;
  for (const auto& a : arguments) argv.push_back(a.c_str());
  std::string joined = JoinCommandLineArguments(static_cast<int>(argv.size()), argv.data());
  CommandLineOptions again;
  SilentUi ui2;
  TokenizeCommandLine(joined, again, ui2);
  return 0;
}
