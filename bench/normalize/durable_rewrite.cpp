// The floor of any in-place change to a set of files: each rewritten
// durably as it is, with no work on its samples. Read the whole file, write
// a temporary beside it, flush it to the disk, rename it over the original,
// flush the folder; `-j N` files at a time (2 by default).
//
//   durable_rewrite [-j N] FILE...
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

bool Rewrite(const std::string& path, std::vector<char>& buffer) {
  const std::string temporary = path + ".rewrite";
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int in = open(path.c_str(), O_RDONLY);
  const int out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  bool ok = in >= 0 && out >= 0;
  for (ssize_t got; ok && (got = read(in, buffer.data(), buffer.size())) != 0;) {
    ok = got > 0 && write(out, buffer.data(), static_cast<std::size_t>(got)) == got;
  }
  ok = ok && fsync(out) == 0;
  if (in >= 0) close(in);
  if (out >= 0) ok = close(out) == 0 && ok;
  ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  ok = ok && dir >= 0 && fsync(dir) == 0;
  if (dir >= 0) close(dir);
  if (!ok) std::fprintf(stderr, "durable_rewrite: %s failed\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  unsigned jobs = 2;
  if (argc > 2 && std::string(argv[1]) == "-j") {
    jobs = static_cast<unsigned>(std::max(1, std::atoi(argv[2])));
    first = 3;
  }
  std::atomic<int> next{first};
  std::atomic<bool> failed{false};
  const auto work = [&] {
    std::vector<char> buffer(1 << 20);
    for (int i = next++; i < argc; i = next++) {
      if (!Rewrite(argv[i], buffer)) failed = true;
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < jobs; ++t) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  return failed ? 1 : 0;
}
