// Runs many pelorn command lines in one process: the tool's own main (built
// from tools/pelorn/pelorn_main.cpp under the name PelornMain) once per line.
// Under Wine every process start is costly; this lets the corpus comparison
// cover every file in every form, while pelorn.exe itself is run for a sample.
//
//   pelorn_batch LIST
// LIST holds one job per line: an id, then the command's arguments, separated
// by tabs. For each job, what the tool writes to stderr goes to
// result/<id>.err and its exit status to result/<id>.status.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int PelornMain(int argc, char** argv);

namespace {

std::vector<std::string> SplitOnTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

bool RunJob(const std::vector<std::string>& fields) {
  const std::string& id = fields[0];
  std::vector<std::string> arguments(fields.begin(), fields.end());
  arguments[0] = "pelorn";
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  if (std::freopen(("result/" + id + ".err").c_str(), "w", stderr) == nullptr) return false;
  const int status = PelornMain(static_cast<int>(arguments.size()), argv.data());
  std::fflush(stderr);
  std::FILE* statusFile = std::fopen(("result/" + id + ".status").c_str(), "w");
  if (statusFile == nullptr) return false;
  std::fprintf(statusFile, "%d\n", status);
  return std::fclose(statusFile) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: pelorn_batch LIST\n", stderr);
    return 2;
  }
  std::ifstream list(argv[1]);
  if (!list) {
    std::fprintf(stderr, "pelorn_batch: cannot read %s\n", argv[1]);
    return 2;
  }
  std::string line;
  while (std::getline(list, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!RunJob(SplitOnTabs(line))) {
      std::printf("pelorn_batch: cannot record the results of job %s\n", line.c_str());
      return 1;
    }
  }
  return 0;
}
