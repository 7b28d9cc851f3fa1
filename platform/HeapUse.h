#pragma once

// How the C library's heap serves a program that builds the tree of a large
// image: tens of thousands of records, and arrays of them that grow by
// doubling.
//
// By default the library maps every block larger than 128 KiB separately
// and gives it back to the system when it is freed, and trims the top of
// the heap past 128 KiB free. Each page of such memory is new to the
// process when it is used again, and the first touch of a new page costs a
// fault (on a virtual machine 10 to 15 microseconds, as much as reading a
// small directory record). A grown array's old block is better kept for
// the next records.
//
// Call once, first thing in main, before any thread starts.
void KeepFreedHeapForReuse();
