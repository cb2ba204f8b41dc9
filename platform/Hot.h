#pragma once
// SM_HOT marks a function that runs in every snapshot. The compiler gathers such functions side by
// side (.text.hot), so that a monitor polling with cold caches walks a few pages of code rather
// than dozens: each page first touched after a pause costs a page-table walk (snapshot_bench's
// polled case measures it). Installed with the headers that use it.

#if defined(__GNUC__)
#define SM_HOT [[gnu::hot]]
#else
#define SM_HOT
#endif
