// The heap image the program embeds: taken at start, and a damaged one
// refused before it changes anything; a start from it leaves C++ as a start
// from the sources does.
#include <cxxabi.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "datatypes/init.h"
#include "library/heap_image.h"
#include "runtime/frames.h"
#include "runtime/memory.h"
#include "runtime/region_kept.h"
#include "runtime/stack.h"
#include "start/start.h"

namespace xeb::test {
namespace {

using Values = std::map<std::string, std::string>;

// The program's writable variables: its data and bss, from the linker's
// bounds.
extern "C" char __data_start[], _end[];

// The variable of the program's symbol table that holds each address (its
// name demangled), or the address when none does.
std::vector<std::string> variables_at(const std::vector<uintptr_t>& addresses) {
  std::ifstream f("/proc/self/exe", std::ios::binary | std::ios::ate);
  std::string elf(static_cast<size_t>(std::max<std::streamoff>(f.tellg(), 0)), '\0');
  f.seekg(0);
  f.read(elf.data(), static_cast<std::streamsize>(elf.size()));
  std::vector<std::string> names;
  for (uintptr_t a : addresses) names.push_back("at " + std::to_string(a));
  if (elf.size() < sizeof(Elf64_Ehdr)) return names;
  const auto* eh = reinterpret_cast<const Elf64_Ehdr*>(elf.data());
  if (eh->e_shoff + size_t{eh->e_shnum} * sizeof(Elf64_Shdr) > elf.size()) return names;
  const auto* sh = reinterpret_cast<const Elf64_Shdr*>(elf.data() + eh->e_shoff);
  for (int i = 0; i < eh->e_shnum; i++) {
    if (sh[i].sh_type != SHT_SYMTAB || sh[i].sh_link >= eh->e_shnum) continue;
    const auto* sym = reinterpret_cast<const Elf64_Sym*>(elf.data() + sh[i].sh_offset);
    const char* strings = elf.data() + sh[sh[i].sh_link].sh_offset;
    const size_t n = sh[i].sh_size / sizeof(Elf64_Sym);
    // Where the program was loaded: the linker's symbol against its address.
    intptr_t bias = 0;
    for (size_t k = 0; k < n; k++)
      if (std::strcmp(strings + sym[k].st_name, "__data_start") == 0)
        bias = reinterpret_cast<intptr_t>(__data_start) - static_cast<intptr_t>(sym[k].st_value);
    for (size_t k = 0; k < n; k++) {
      if (ELF64_ST_TYPE(sym[k].st_info) != STT_OBJECT || !sym[k].st_size) continue;
      const uintptr_t lo = sym[k].st_value + bias, hi = lo + sym[k].st_size;
      // The addresses come in order.
      for (size_t j = std::lower_bound(addresses.begin(), addresses.end(), lo) - addresses.begin();
           j < addresses.size() && addresses[j] < hi; j++) {
        int status = 0;
        char* d = abi::__cxa_demangle(strings + sym[k].st_name, nullptr, nullptr, &status);
        names[j] = status == 0 && d ? d : strings + sym[k].st_name;
        std::free(d);
      }
    }
  }
  return names;
}

struct Child {
  pid_t pid;
  int fd;
};

// A start in a child process (a process starts once), which writes every
// variable kept with the heap, what C++ derives from them, the program's
// variables and which path it took. Both children are made before either is
// read, so that they start from the same memory.
Child start_child(bool from_image) {
  int fds[2];
  if (pipe(fds) != 0) return {-1, -1};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    // One variable set either way: both children's allocations stay in step.
    unsetenv("XEB_NO_SNAPSHOT");
    setenv(from_image ? "XEB_NO_SNAPSHOX" : "XEB_NO_SNAPSHOT", "1", 1);
    start::boot();
    std::string out;
    auto put = [&](const std::string& name, const void* p, size_t n) {
      uint32_t sizes[2] = {static_cast<uint32_t>(name.size()), static_cast<uint32_t>(n)};
      out.append(reinterpret_cast<const char*>(sizes), sizeof sizes);
      out += name;
      out.append(static_cast<const char*>(p), n);
    };
    for (const region::Kept& k : region::kept())
      for (uint32_t i = 0; i < k.count; i++)
        put(std::string(k.name) + "[" + std::to_string(i) + "]", static_cast<const char*>(k.at) + size_t{i} * k.stride, k.size);
    const Off stack_bounds[] = {off(stack::ds.bottom), off(stack::ds.base), off(stack::ds.top), off(stack::ds.end)};
    put("stack bounds", stack_bounds, sizeof stack_bounds);
    const uint32_t names[] = {stack::names.body, stack::names.anon, stack::names.self, stack::names.not_found};
    put("stack names", names, sizeof names);
    const Node root = datatypes::root();
    put("root", &root, sizeof root);
#ifndef XEB_SANITIZE
    // The sanitizers' runtime keeps its state among them, between redzones
    // no read may cross.
    put("variables", __data_start, static_cast<size_t>(_end - __data_start));
#endif
    put("path", start::booted_from_image() ? "image" : "sources", start::booted_from_image() ? 5 : 7);
    for (size_t at = 0; at < out.size();) {
      const ssize_t n = write(fds[1], out.data() + at, out.size() - at);
      if (n <= 0) _exit(2);
      at += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  return {pid, fds[0]};
}

Values read_child(Child c) {
  if (c.pid < 0) return {};
  std::string in;
  char buf[65536];
  for (ssize_t n; (n = read(c.fd, buf, sizeof buf)) > 0;) in.append(buf, static_cast<size_t>(n));
  close(c.fd);
  int status = 0;
  waitpid(c.pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the start failed, status " << status;
  Values v;
  for (size_t at = 0; at + 8 <= in.size();) {
    uint32_t sizes[2];
    std::memcpy(sizes, in.data() + at, sizeof sizes);
    at += sizeof sizes;
    std::string name = in.substr(at, sizes[0]);
    v[name] = in.substr(at + sizes[0], sizes[1]);
    at += size_t{sizes[0]} + sizes[1];
  }
  return v;
}

// A variable init sets against the heap that the image does not carry, or
// that the start from the image sets again after taking it, shows here.
TEST(HeapImage, BothStartsLeaveTheSameState) {
  if (std::getenv("XEB_NO_SNAPSHOT")) GTEST_SKIP() << "XEB_NO_SNAPSHOT is set";
  const Child from_image = start_child(true), from_sources = start_child(false);
  Values image = read_child(from_image), sources = read_child(from_sources);
  EXPECT_EQ(image["path"], "image");
  EXPECT_EQ(sources["path"], "sources");
  image.erase("path");
  sources.erase("path");
  const std::string a = image["variables"], b = sources["variables"];
  image.erase("variables");
  sources.erase("variables");
  // Each kept variable at least: the heap's roots, the symbol table, the
  // built-ins' specs.
  EXPECT_GT(image.size(), 10u);
  for (const auto& [name, bytes] : sources) {
    auto it = image.find(name);
    ASSERT_NE(it, image.end()) << name;
    EXPECT_TRUE(it->second == bytes) << name << " differs between the two starts";
  }
  EXPECT_EQ(image.size(), sources.size());

  // Every other variable of the program too: one that init sets against the
  // heap and no image carries shows here. Those that may differ: the
  // environment the test set, which path ran, scratch state and spare
  // capacity (the collector's work lists too: the sources' run collects in
  // this process, the image's ran in the build's), and the decoded function
  // bodies, a cache checked at each use; the change stamps' counters and
  // table, which only ever move forward from wherever they stand.
  ASSERT_EQ(a.size(), b.size());
  std::vector<uintptr_t> differ;
  for (size_t i = 0; i < a.size(); i++)
    if (a[i] != b[i]) differ.push_back(reinterpret_cast<uintptr_t>(__data_start) + i);
  constexpr const char* kMayDiffer[] = {
      "environ", "start::(anonymous namespace)::from_image", "evaluator::build_heap()::done",
      "context::(anonymous namespace)::symbol_map", "cycles::detail::entries",
      "collector::(anonymous namespace)::fixed_series", "collector::(anonymous namespace)::work",
      "collector::(anonymous namespace)::pending", "collector::(anonymous namespace)::node_frame_table",
      "interpreter::pure::", "xeb::stamp::"};
  std::vector<std::string> names = variables_at(differ);
  names.erase(std::unique(names.begin(), names.end()), names.end());
  for (const std::string& name : names) {
    bool may = false;
    for (const char* m : kMayDiffer) may = may || name.find(m) != std::string::npos;
    EXPECT_TRUE(may) << name << " differs between the two starts";
  }
}

TEST(HeapImage, TakenAtStartAndDamageRefused) {
  start::boot();
  if (std::getenv("XEB_NO_SNAPSHOT")) GTEST_SKIP() << "XEB_NO_SNAPSHOT is set";
  EXPECT_TRUE(start::booted_from_image());
  const auto image = library::heap_image::embedded();
  ASSERT_GT(image.size(), 64u);
  // The state init left, as the image records it (after its magic and key):
  // with it, only the damage can refuse the image.
  uint64_t mark;
  std::memcpy(&mark, image.data() + 16, 8);
  const memory::State before = memory::state;
  auto cut = [&](size_t n) { return std::vector<uint8_t>(image.begin(), image.begin() + n); };
  std::vector<std::vector<uint8_t>> damaged = {cut(0), cut(40), cut(image.size() / 2), cut(image.size() - 1)};
  for (size_t at : {size_t{0}, size_t{8}}) {  // the magic, the key
    damaged.push_back(cut(image.size()));
    damaged.back()[at] ^= 1;
  }
  for (size_t i = 0; i < damaged.size(); i++) {
    int32_t sources = -1;
    EXPECT_FALSE(library::heap_image::restore(damaged[i], mark, &sources)) << "damage " << i;
    EXPECT_EQ(sources, -1);
  }
  EXPECT_EQ(std::memcmp(&before, &memory::state, sizeof before), 0);
}

}  // namespace
}  // namespace xeb::test
