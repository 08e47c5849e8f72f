#pragma once

// The tools start again once, at once, with glibc told to back their heap
// with transparent huge pages (its tunable glibc.malloc.hugetlb, read only
// as a process starts). A large page's reading and a large site's compile
// take tens of megabytes in blocks of a few hundred kilobytes, fresh from
// the system each time: faulted in 4 kB at a time, that took a third of the
// compile's time; in 2 MB pages it takes a few hundredths.
namespace quorlix::html {

// Returns only when the tool goes on as it is: told already, or unable to
// start again.
void restartWithHugePageHeap(char **argv);

} // namespace quorlix::html
