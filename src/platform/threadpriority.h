#pragma once
// Work that may wait: the calling thread yields the processor to the program's other
// threads (the window thread above all) whenever they want it, yet still runs at once on a
// processor nobody else wants.

// Lowers the calling thread's scheduling priority (a nice value of BackgroundNice); once
// lowered it stays so. Failure changes nothing.
void runThisThreadInBackground();

inline constexpr int BackgroundNice = 10;
