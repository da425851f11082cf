// Start-up of the layers written in the language: evaluates the sources of
// the boot image in manifest order (each source's routine declarations bound
// to the routine table by name first), then hands over to the console.
#pragma once
#include <cstdint>
#include <span>

#include "runtime/cell.h"

namespace xeb::library {

// The process's arguments after the program name; kept for the routines that
// build `system/options/args` and `system/script/args`. Before boot.
void set_command_line(int argc, char** argv);
std::span<char* const> arguments();
const char* program();  // the program's path as given, or null

// The build's record: when the program was built (UTC) and the
// version-control record of its source. A program that records none (the
// test programs) has neither.
struct BuildDate {
  int32_t year, month, day, hour, minute, second;
};
struct BuildGit {
  bool known;  // the source was a git checkout
  const char* branch;
  const char* tag;  // the last tag, or null
  int32_t ahead;    // commits since that tag (since the first without one)
  BuildDate date;   // of the commit
  const char* commit;
  const char* message;  // its first line
};
void set_build_info(const BuildDate& date, const BuildGit& git);
const BuildDate* build_date();  // or null
const BuildGit* build_git();    // or null

// The boot image: a compact Xebbin stream of one block holding each
// source's block of values, in manifest order; made at build time by
// tools/boot_image.cpp.
std::span<const uint8_t> boot_image();
// The hash of boot_image()'s bytes, made when the image was.
uint64_t boot_image_key();

// Runs the top level of every source of the block (a rooted cell, the boot
// image decoded), in order: run, then finish. Needs the runtime, the lexer,
// the evaluator and the routine table built. Turns the collector on before
// the first source: from here on nothing may hold a buffer address across an
// allocation. An error nothing catches prints and ends the process with
// status -2.
void boot(const Cell* sources);

// The two halves of boot. run evaluates every source but the last, marks the
// library's functions and keeps the console's calls, and answers the
// sources' block as it keeps it on the data stack (null when an error is on
// its way out); the heap it leaves is what a heap image holds. resume stands
// for run over a heap image taken back: the same switches, the same block
// kept. finish runs the last source, which reads what each process brings
// (its directory, arguments, environment, terminal), then marks the
// functions it made.
Cell* run(const Cell* sources);
Cell* resume(const Cell* sources);
void finish(Cell* list);

// Calls `cli-console-ctx/launch`; answers the exit status (0) when it
// returns.
int launch();

}  // namespace xeb::library
