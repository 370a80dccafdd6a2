#pragma once
// How the programs' memory behaves over a long run.
namespace tabulor::shell {

// Freed memory goes back to the system once more than 128 KiB of it lies at
// the top of the heap. The C library otherwise raises that threshold after
// each large buffer it frees (up to 64 MiB) and keeps the freed space: a run
// that allocates and frees blocks for hours would hold on to memory it no
// longer uses. Called first thing by the programs.
void ReturnFreedMemory();

}  // namespace tabulor::shell
