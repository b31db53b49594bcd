// Runs the programs one after another in this one process, as a batch file
// lists them: where 32-bit code runs only under an emulator, each start of
// a Windows program costs most of a minute, so the shipped 32-bit build is
// tried on a whole set of trees in one start.
//
//   in_process BATCH
//
// BATCH is UTF-8, one line a step, fields separated by tabs:
//
//   run   TOOL DIRECTORY OUT ERR ARGUMENT...   runs snipdir, snipdir-preview,
//         snipdir-undo or snipdir-fit with the arguments, in DIRECTORY, its
//         standard output and error written to the files OUT and ERR
//   hold  PATH                                 keeps the file PATH open
//         without sharing it for deletion, until the next run has ended
//
// Each run is the program's own run, on the system's platform, made anew
// for it; the program's main adds only the reading of its command line.
// After each run the line "status N" is written to standard output.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "platform/platform.h"
#include "text/utf8.h"

namespace {

std::vector<std::u16string> Fields(const std::string& line) {
  std::vector<std::u16string> fields;
  std::stringstream split(line);
  std::string field;
  while (std::getline(split, field, '\t')) fields.push_back(text::DecodeName(field));
  return fields;
}

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

HANDLE Created(const std::u16string& path) {
  return CreateFileW(Wide(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool ToolNamed(const std::u16string& name, app::Tool& tool) {
  const struct {
    const char16_t* name;
    app::Tool tool;
  } tools[] = {{u"snipdir", app::Tool::kSnipdir},
               {u"snipdir-preview", app::Tool::kPreview},
               {u"snipdir-undo", app::Tool::kUndo},
               {u"snipdir-fit", app::Tool::kFit}};
  for (const auto& each : tools) {
    if (name == each.name) {
      tool = each.tool;
      return true;
    }
  }
  return false;
}

// One run: fields TOOL DIRECTORY OUT ERR ARGUMENT...; its exit status, or
// -1 when the step itself cannot be set up.
int RunStep(const std::vector<std::u16string>& fields) {
  app::Tool tool;
  if (fields.size() < 5 || !ToolNamed(fields[1], tool)) return -1;
  const HANDLE out = Created(fields[3]), err = Created(fields[4]);
  if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE ||
      !SetCurrentDirectoryW(Wide(fields[2]))) {
    return -1;
  }
  const HANDLE ownOut = GetStdHandle(STD_OUTPUT_HANDLE), ownErr = GetStdHandle(STD_ERROR_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, out);
  SetStdHandle(STD_ERROR_HANDLE, err);
  int status;
  {
    std::vector<std::u16string> args(fields.begin() + 4, fields.end());
    args[0] = fields[1];  // the program's name, where its arguments start
    const std::unique_ptr<platform::Platform> system = platform::MakeSystemPlatform();
    status = app::Run(tool, args, *system);
  }
  SetStdHandle(STD_OUTPUT_HANDLE, ownOut);
  SetStdHandle(STD_ERROR_HANDLE, ownErr);
  CloseHandle(out);
  CloseHandle(err);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: in_process BATCH\n");
    return 2;
  }
  std::ifstream batch(argv[1], std::ios::binary);
  std::vector<HANDLE> held;
  std::string line;
  for (int number = 1; std::getline(batch, line); ++number) {
    const std::vector<std::u16string> fields = Fields(line);
    if (fields.size() == 2 && fields[0] == u"hold") {
      held.push_back(CreateFileW(Wide(fields[1]), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (held.back() != INVALID_HANDLE_VALUE) continue;
    }
    const int status = !fields.empty() && fields[0] == u"run" ? RunStep(fields) : -1;
    if (status < 0) {
      std::fprintf(stderr, "in_process: line %d cannot be done (%lu)\n", number, GetLastError());
      return 2;
    }
    for (const HANDLE handle : held) CloseHandle(handle);
    held.clear();
    std::printf("status %d\n", status);
    std::fflush(stdout);
  }
  return 0;
}
